// SPDX-License-Identifier: MIT
// The goods program on a serial ZPL printer: zpl-printer-sim on a pty, taking bytes at
// 9600 baud with XON/XOFF, as a printer on COM1 does. A sample job takes about two
// seconds on that line, so faults come and go while it runs.
#include "printer_simulator.h"
#include "program_test_support.h"

namespace {

using testing_support::PrinterSimulator;
using namespace std::chrono_literals;

constexpr const char* kProgram = "mokuren-goods";

class ZplProgram : public testing_support::ProgramRun {
protected:
    std::unique_ptr<PrinterSimulator> startPrinter(const std::vector<std::string>& faults) {
        std::vector<std::string> arguments{"--pty", "--baud", "9600", "--flow", "xonxoff", "--buffer", "256", "--print-ms", "30"};
        arguments.insert(arguments.end(), faults.begin(), faults.end());
        auto printer = std::make_unique<PrinterSimulator>(arguments, folder / "printer");
        EXPECT_TRUE(printer->started()) << "zpl-printer-sim did not start";
        return printer;
    }
    void listSerialPrinter(const PrinterSimulator& printer, const std::string& options) {
        nlohmann::json entry{{"type", "zpl"}, {"device", printer.address()}, {"flowControl", "xonxoff"}};
        entry.update(nlohmann::json::parse(options));
        writePrinterList("{}", entry.dump());
    }
};

TEST_F(ZplProgram, APrinterFaultShowsInTheStatusLineAndTheJobFinishesOnceItClears) {
    const auto printer = startPrinter({"--fault", "paper-out:after=2,for=800"});
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
