// SPDX-License-Identifier: MIT
// The goods program as its caller runs it, in console mode and once in a window.
#include <signal.h>

#include "printer_simulator.h"
#include "program_test_support.h"

namespace {

using testing_support::Interaction;
using testing_support::RunningProcess;
using namespace std::chrono_literals;

constexpr const char* kProgram = "mokuren-goods";
constexpr int kFinished = 0;
constexpr int kFailed = 1;
constexpr int kRejected = 2;
constexpr int kStopped = 3;

const std::string kDriver = "/DRV:TEC B-374";
const std::string kJan = "4901234567894";

std::string box(const std::string& text) { return "box: title=メッセージ icon=exclamation buttons=OK text=" + text; }

// A lot record whose positions hold "<tag>1" to "<tag>9", but for the JAN at position 3.
std::string lotRecord(const std::string& tag) {
    std::string line;
    for (int i = 1; i <= 9; ++i) line += (i > 1 ? "," : "") + (i == 3 ? kJan : tag + std::to_string(i));
    return line + "\r\n";
}

class GoodsProgram : public testing_support::ProgramRun {};

std::size_t picturesIn(const std::filesystem::path& folder) {
    std::error_code ignored;
    const auto entries = std::filesystem::directory_iterator(folder, ignored);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

TEST_F(GoodsProgram, SampleReceivingJobIssuesEveryRecord) {
    writePrinterList(R"({"images": "output/images"})");
    const auto result = run(kProgram, {"/LABEL1", "/" + sampleData("NYUKA.DAT"), "/DRV", kDriver});
    EXPECT_EQ(result.exitStatus, kFinished);
    EXPECT_TRUE(boxes(result).empty());
    EXPECT_EQ(labels().size(), 12u);
    EXPECT_EQ(picturesIn(systemDir / "output" / "images" / "job-0001"), 12u);
    const auto ops = traceOps();
    ASSERT_GE(ops.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(ops.begin(), ops.begin() + 4),
              (std::vector<std::string>{"PortSetting", "UsePrinter", "LoadFormat", "OpenPort"}));
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "SetField"), 12 * 23);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "Issue"), 12);
    EXPECT_EQ(ops.back(), "ClosePort");
    EXPECT_EQ(result.errorLines.back(), "status: 12レコード目を発行中．．．");
}

TEST_F(GoodsProgram, TheCallLogShowsEveryArgumentAsPassed) {
    const auto data = writeData("NYUKA_LOT.DAT", lotRecord("a") + "b1,\x93\xfc\x89\xd7," + kJan + ",b4,b5,b6,b7,b8,b9\r\n");
    const auto result = run(kProgram, {"/LABEL3 /" + data + " /DRV " + kDriver});
    ASSERT_EQ(result.exitStatus, kFinished);
    const auto log = trace();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[0], nlohmann::json::parse(R"({"op":"PortSetting","dispid":1,"args":["DRV:TEC B-374"]})"));
    EXPECT_EQ(log[1], nlohmann::json::parse(R"({"op":"UsePrinter","dispid":3,"args":[1]})"));
    EXPECT_EQ(log[2], nlohmann::json::parse(R"({"op":"LoadFormat","dispid":13,"args":["LABEL3"],"ret":true,"result":0})"));
    EXPECT_EQ(log[3], nlohmann::json::parse(R"({"op":"OpenPort","dispid":14,"args":[1],"ret":true,"result":0})"));
    EXPECT_EQ(log[4], nlohmann::json::parse(R"({"op":"SetField","dispid":17,"args":[1,"a2"],"ret":true,"result":0})"));
    const auto issue = std::find_if(log.begin(), log.end(), [](const auto& line) { return line["op"] == "Issue"; });
    ASSERT_NE(issue, log.end());
    EXPECT_EQ((*issue)["args"], nlohmann::json::parse("[1,0]"));
    EXPECT_EQ((*issue)["dispid"], 12);
    // The second record's second position reaches label fields 1 and 2 in UTF-8.
    const auto printed = labels();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[1]["fields"]["1"], "入荷");
    EXPECT_EQ(printed[1]["fields"]["2"], "入荷");
    EXPECT_EQ(printed[0]["fields"]["1"], "a2");
}

TEST_F(GoodsProgram, MissingDataFileIsReportedAndThePortIsNeverOpened) {
    const auto result = run(kProgram, {"/LABEL1 /DATA\\NOSUCH\\NYUKA.DAT /DRV " + kDriver});
    EXPECT_EQ(result.exitStatus, kFailed);
    EXPECT_EQ(boxes(result), (std::vector<std::string>{box("データファイルのオープンに失敗しました。発行を中止します。")}));
    EXPECT_EQ(traceOps(), (std::vector<std::string>{"PortSetting", "UsePrinter", "LoadFormat", "ClosePort"}));
}

TEST_F(GoodsProgram, TheDataFileAndTheFormatShareOneDriveTable) {
    writeData("NYUKA_LOT.DAT", lotRecord("a"));
    environment["BCPCTRL_DRIVES"] = "E=" + folder.string();
    const auto mapped = run(kProgram, {"/E:\\BcpCtrl\\formats\\LABEL3 /E:\\DATA\\NYUKA_LOT.DAT /DRV " + kDriver});
    EXPECT_EQ(mapped.exitStatus, kFinished);
    EXPECT_EQ(labels().size(), 1u);
    const auto unmapped = run(kProgram, {"/LABEL3 /F:\\DATA\\NYUKA_LOT.DAT /DRV " + kDriver});
    EXPECT_EQ(unmapped.exitStatus, kFailed);
    EXPECT_EQ(boxes(unmapped), (std::vector<std::string>{box("データファイルのオープンに失敗しました。発行を中止します。")}));
}

TEST_F(GoodsProgram, ShortLastRecordStopsAfterTheCompleteOnes) {
    const auto data = writeData("NYUKA_LOT.DAT", lotRecord("a") + lotRecord("b") + "c1,c2,c3\r\n");
    const auto result = run(kProgram, {"/LABEL3 /" + data + " /DRV " + kDriver});
    EXPECT_EQ(result.exitStatus, kFailed);
    EXPECT_EQ(boxes(result),
              (std::vector<std::string>{box("ERR: 62 データファイルの読み込みに失敗しました。発行を中止します。")}));
    EXPECT_EQ(labels().size(), 2u);
}

TEST_F(GoodsProgram, ABarcodeThatCannotBeDrawnStopsTheJobBeforeAnythingOfItIsWritten) {
    writePrinterList(R"({"images": "output/images"})");
    const auto data = writeData("NYUKA_LOT.DAT", lotRecord("a") + "b1,b2,4901234567890,b4,b5,b6,b7,b8,b9\r\n");
    const auto result = run(kProgram, {"/LABEL3 /" + data + " /DRV " + kDriver});
    EXPECT_EQ(result.exitStatus, kFailed);
    EXPECT_EQ(boxes(result), (std::vector<std::string>{box("印刷レイアウトに誤りがあります。発行を中止します。")}));
    EXPECT_EQ(labels().size(), 1u);
    EXPECT_EQ(picturesIn(systemDir / "output" / "images" / "job-0001"), 1u);
}

TEST_F(GoodsProgram, InvalidCp932NeverReachesALabel) {
    const auto data = writeData("NYUKA_LOT.DAT", lotRecord("a") + "x1,\x82\xff,x3,x4,x5,x6,x7,x8,x9\r\n");
    const auto result = run(kProgram, {"/LABEL3 /" + data + " /DRV " + kDriver});
    EXPECT_EQ(result.exitStatus, kFailed);
    EXPECT_EQ(boxes(result),
              (std::vector<std::string>{box("ERR: 932 データファイルの読み込みに失敗しました。発行を中止します。")}));
    EXPECT_EQ(labels().size(), 1u);
}

TEST_F(GoodsProgram, ControlFailuresShowTheirMessages) {
    struct Row {
        int row;
        std::string format;
        std::string port;
        std::string message;
    };
    const std::vector<Row> rows{
        {1, "NOSUCH", "/DRV " + kDriver, "ラベルフォーマットファイルの読み込みに失敗しました。発行を中止します。"},
        {2, "LABEL1", "/DRV /DRV:NO PRINTER", "プリンタ情報ファイルの読み込みに失敗しました。発行を中止します。"},
        {3, "LABEL1", "/LPT /DRV:TEC B-374", "第一引数に不正な値が指定されています。発行を中止します。"},
        {4, "CARD1", "/DRV " + kDriver,
         "UsePrinterプロパティで指定されたプリンタのラベルフォーマットファイルではありません。発行を中止します。"},
    };
    const auto data = sampleData("NYUKA.DAT");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        const auto result = run(kProgram, {"/" + row.format + " /" + data + " " + row.port});
        EXPECT_EQ(result.exitStatus, kFailed);
        EXPECT_EQ(boxes(result), (std::vector<std::string>{box(row.message)}));
    }
    EXPECT_TRUE(labels().empty());
}

TEST_F(GoodsProgram, OperatorStopsWithCtrlCAndYes) {
    writePrinterList(R"({"delayMs": 100})");
    const auto result = run(kProgram, {"/LABEL1 /" + sampleData("NYUKA.DAT") + " /DRV " + kDriver},
                            {Interaction{"status: 2レコード目", [](RunningProcess& p) { p.signal(SIGINT); }},
                             Interaction{"icon=question", [](RunningProcess& p) { p.write("y\n"); }}});
    EXPECT_EQ(result.exitStatus, kStopped);
    EXPECT_EQ(boxes(result), (std::vector<std::string>{"box: title=メッセージ icon=question buttons=YesNo "
                                                       "text=発行を中止します。よろしいですか？"}));
    EXPECT_GE(labels().size(), 2u);
    EXPECT_LT(labels().size(), 12u);
    EXPECT_EQ(traceOps().back(), "ClosePort");
}

TEST_F(GoodsProgram, OperatorAnswersNoAndTheJobGoesOn) {
    writePrinterList(R"({"delayMs": 50})");
    const auto result = run(kProgram, {"/LABEL1 /" + sampleData("NYUKA.DAT") + " /DRV " + kDriver},
                            {Interaction{"status: 2レコード目", [](RunningProcess& p) { p.signal(SIGINT); }},
                             Interaction{"icon=question", [](RunningProcess& p) { p.write("n\n"); }}});
    EXPECT_EQ(result.exitStatus, kFinished);
    EXPECT_EQ(labels().size(), 12u);
}

TEST_F(GoodsProgram, APrinterFaultOnASerialJobShowsInTheStatusLineAndTheJobGoesOn) {
    writePrinterList("{}", R"({"confirmEach": false, "status": [{"afterLabel": 2, "text": "11"}]})");
    const auto result = run(kProgram, {"/LABEL1 /" + sampleData("NYUKA.DAT") + " /COM /"});
    EXPECT_EQ(result.exitStatus, kFinished);
    const std::string fault = "status: プリンタに異常が発生しました。 (11)\\r\\nプリンタのエラーを解除してください。";
    const auto at = std::find(result.errorLines.begin(), result.errorLines.end(), fault);
    ASSERT_NE(at, result.errorLines.end());
    EXPECT_EQ(*(at + 1), "status: 3レコード目を発行中．．．");
    EXPECT_EQ(labels().size(), 12u);
    const auto log = trace();
    const auto event = std::find_if(log.begin(), log.end(), [](const auto& line) { return line["op"] == "OnStatus"; });
    ASSERT_NE(event, log.end());
    EXPECT_EQ((*event)["status"], "11");
    EXPECT_EQ((*event)["result"], -2146827186);
}

TEST_F(GoodsProgram, AFailureCodeFromTheSerialPrinterStopsTheJob) {
    writePrinterList("{}", R"({"confirmEach": false, "issueError": {"label": 3, "error": 1003}})");
    const auto result = run(kProgram, {"/LABEL1 /" + sampleData("NYUKA.DAT") + " /COM /"});
    EXPECT_EQ(result.exitStatus, kFailed);
    EXPECT_EQ(boxes(result), (std::vector<std::string>{box("ポートへの書き込みに失敗しました。発行を中止します。")}));
    EXPECT_EQ(labels().size(), 2u);
}

TEST_F(GoodsProgram, ARejectedCommandLineEndsBeforeTheControlIsUsed) {
    const auto result = run(kProgram, {"/LABEL1", "/DATA\\NYUKA.DAT", "/DRV"});
    EXPECT_EQ(result.exitStatus, kRejected);
    EXPECT_EQ(boxes(result).size(), 1u);
    EXPECT_NE(boxes(result)[0].find("コマンドラインの指定に誤りがあります。"), std::string::npos);
    EXPECT_TRUE(trace().empty());
}

TEST_F(GoodsProgram, VersionText) {
    const auto result = run(kProgram, {"--version"});
    EXPECT_EQ(result.exitStatus, kFinished);
    EXPECT_EQ(result.standardOutput, "MOKUREN 1.00\n");
}

TEST_F(GoodsProgram, RunsInAWindowUnderTheOffscreenPlatform) {
    const auto result = run(kProgram, {"/LABEL2 /" + sampleData("SYUKA.DAT") + " /DRV " + kDriver}, {}, true);
    EXPECT_EQ(result.exitStatus, kFinished);
    EXPECT_EQ(labels().size(), 12u);
    const auto ops = traceOps();
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "SetField"), 12 * 21);
}

// On a serial ZPL printer: zpl-printer-sim on a pty, taking bytes at 115200 baud with
// XON/XOFF, as a printer whose entry sets that line does. A sample job takes a few seconds
// on that line, so faults come and go while it runs.
class ZplProgram : public testing_support::ProgramRun {
protected:
    using PrinterSimulator = testing_support::PrinterSimulator;

    std::unique_ptr<PrinterSimulator> startPrinter(const std::vector<std::string>& faults) {
        std::vector<std::string> arguments{"--pty", "--baud", "115200", "--flow", "xonxoff", "--buffer", "65536", "--print-ms", "30"};
        arguments.insert(arguments.end(), faults.begin(), faults.end());
        auto printer = std::make_unique<PrinterSimulator>(arguments, folder / "printer");
        EXPECT_TRUE(printer->started()) << "zpl-printer-sim did not start";
        return printer;
    }
    void listSerialPrinter(const PrinterSimulator& printer, const std::string& options) {
        nlohmann::json entry{{"type", "zpl"}, {"device", printer.address()}, {"serial", "115200,E,8,1"},
                             {"flowControl", "xonxoff"}};
        entry.update(nlohmann::json::parse(options));
        writePrinterList("{}", entry.dump());
    }
};

TEST_F(ZplProgram, APrinterFaultShowsInTheStatusLineAndTheJobFinishesOnceItClears) {
    const auto printer = startPrinter({"--fault", "paper-out:after=2,for=2000"});
    ASSERT_TRUE(printer->started());
    listSerialPrinter(*printer, R"({"statusIntervalMs": 100})");
    const auto result = run(kProgram, {"/LABEL1 /" + sampleData("NYUKA.DAT") + " /COM /"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(boxes(result).empty());
    const std::string fault = "status: プリンタに異常が発生しました。 (11)\\r\\nプリンタのエラーを解除してください。";
    const auto at = std::find(result.errorLines.begin(), result.errorLines.end(), fault);
    ASSERT_NE(at, result.errorLines.end()) << "the job must still run when paper runs out";
    EXPECT_NE(std::find_if(at, result.errorLines.end(),
                           [](const std::string& line) { return line.find("レコード目を発行中") != std::string::npos; }),
              result.errorLines.end());
    std::vector<std::string> reports;
    for (const auto& line : trace()) {
        if (line["op"] == "OnStatus" && line["status"] != "40") reports.push_back(line["status"]);
    }
    EXPECT_EQ(reports, (std::vector<std::string>{"11", "00"})) << "paper is back before the job ends";
    EXPECT_TRUE(printer->waitUntilPrinted(12, 10s)) << "every label prints";
}

TEST_F(ZplProgram, APrinterThatDoesNotAnswerEndsTheJobWithACommunicationError) {
    const auto printer = startPrinter({"--fault", "no-answer"});
    ASSERT_TRUE(printer->started());
    listSerialPrinter(*printer, R"({"statusTimeoutMs": 300})");
    const auto result = run(kProgram, {"/LABEL1 /" + sampleData("NYUKA.DAT") + " /COM /"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(boxes(result), (std::vector<std::string>{"box: title=メッセージ icon=exclamation buttons=OK "
                                                       "text=通信エラーが発生しました。発行を中止します。"}));
    EXPECT_EQ(traceOps().back(), "ClosePort");
}

}  // namespace
