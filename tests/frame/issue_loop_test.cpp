// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "goods/goods_edition.h"
#include "job_fixture.h"

namespace {

using frame::DispId;
using testing_support::Answer;
using testing_support::Journal;

constexpr frame::ResultCode kWriteFailed = frame::resultCodeFor(1003);

class IssueLoopTest : public testing_support::JobFixture {
protected:
    IssueLoopTest() : JobFixture(goods::kGoodsEdition) {}

    // A lot record "1,2,...,9" with `tag` in front of every value.
    static std::string lotRecord(const std::string& tag) {
        std::string line;
        for (int i = 1; i <= 9; ++i) line += (i > 1 ? "," : "") + tag + std::to_string(i);
        return line + "\r\n";
    }
    std::string lotLine(const std::string& data, const std::string& port = "DRV /DRV:TEC B-374") {
        return "/LABEL3 /" + writeData("NYUKA_LOT.DAT", data) + " /" + port;
    }
    std::size_t count(const std::string& entry) const { return static_cast<std::size_t>(std::count(journal.begin(), journal.end(), entry)); }
};

TEST_F(IssueLoopTest, AWholeJobInCallOrder) {
    runJob(lotLine(lotRecord("a") + lotRecord("b")));
    Journal expected{"PortSetting(DRV:TEC B-374)", "UsePrinter(1)", "status:発行準備中．．．", "yield",
                     "LoadFormat(LABEL3)", "OpenPort(1)", "status:1レコード目を発行中．．．", "yield"};
    for (const std::string tag : {"a", "b"}) {
        for (const std::string& call : {"1," + tag + "2", "2," + tag + "2", "3," + tag + "3", "4," + tag + "3",
                                       "5," + tag + "1", "6," + tag + "1", "9," + tag + "4", "10," + tag + "4",
                                       "13," + tag + "5", "14," + tag + "5", "16," + tag + "6", "18," + tag + "7",
                                       "19," + tag + "8", "20," + tag + "9"}) {
            expected.push_back("SetField(" + call + ")");
        }
        expected.push_back("Issue(1,0)");
        expected.push_back(std::string("status:") + (tag == "a" ? "1" : "2") + "レコード目を発行中．．．");
        expected.push_back("yield");
    }
    for (const char* tail : {"ClosePort()", "hide", "unload"}) expected.push_back(tail);
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(IssueLoopTest, FormatArgumentReachesLoadFormatAsWrittenAndThePortSettingComesFirst) {
    runJob("/FMT\\LABEL1 /" + writeData("SYUKA.DAT", "") + " /DRV /DRV:TEC B-374");
    ASSERT_GE(control.calls.size(), 3u);
    EXPECT_EQ(control.calls[0], (testing_support::Call{DispId::PortSetting, {"DRV:TEC B-374"}}));
    EXPECT_EQ(control.calls[1], (testing_support::Call{DispId::UsePrinter, {std::int64_t{1}}}));
    EXPECT_EQ(control.calls[2], (testing_support::Call{DispId::LoadFormat, {"FMT\\LABEL1"}}));
}

TEST_F(IssueLoopTest, AnEmptyDataFileFinishesWithTheFirstProgressText) {
    runJob(lotLine(""));
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
    EXPECT_EQ(window.statusText(), "1レコード目を発行中．．．");
    EXPECT_EQ(control.issueCount, 0);
    EXPECT_EQ(count("ClosePort()"), 1u);
    EXPECT_TRUE(window.unloaded);
}

TEST_F(IssueLoopTest, AMissingDataFileIsReportedAfterTheFormatAndBeforeThePort) {
    runJob("/LABEL1 /\\nonexistent\\NYUKA.DAT /DRV /DRV:TEC B-374");
    EXPECT_EQ(journal, (Journal{"PortSetting(DRV:TEC B-374)", "UsePrinter(1)", "status:発行準備中．．．", "yield",
                                "LoadFormat(LABEL1)",
                                "box:データファイルのオープンに失敗しました。発行を中止します。", "ClosePort()",
                                "hide", "unload"}));
    EXPECT_EQ(window.boxes.at(0).style(), 48);
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Failed);
}

TEST_F(IssueLoopTest, AShortLastRecordIsReportedAndNotIssued) {
    runJob(lotLine(lotRecord("a") + lotRecord("b") + "c1,c2,c3\r\n"));
    EXPECT_EQ(control.issueCount, 2);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "ERR: 62 データファイルの読み込みに失敗しました。発行を中止します。");
    EXPECT_EQ(window.boxes[0].title, "メッセージ");
    EXPECT_EQ(count("SetField(5,c1)"), 0u);
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Failed);
}

TEST_F(IssueLoopTest, InvalidTextInARecordStopsBeforeAnyFieldOfItIsSet) {
    runJob(lotLine(lotRecord("a") + "x1,\x81,x3,x4,x5,x6,x7,x8,x9\r\n"));
    EXPECT_EQ(control.issueCount, 1);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "ERR: 932 データファイルの読み込みに失敗しました。発行を中止します。");
    EXPECT_EQ(count("SetField(5,x1)"), 0u);
}

struct UnclosedQuoteRow {
    int row;
    std::string data;
    std::int64_t labels;
    int failure;
};

TEST_F(IssueLoopTest, AnUnclosedQuoteEndsTheJobWithItsNumber) {
    std::string unclosedInTheMiddle = lotRecord("c");
    unclosedInTheMiddle.replace(unclosedInTheMiddle.find("c5"), 2, "\"c5");
    std::string unclosedAtTheEnd = lotRecord("a");
    unclosedAtTheEnd.replace(unclosedAtTheEnd.find("a9"), 2, "\"a9");
    const std::vector<UnclosedQuoteRow> rows{
        // The other records would have gone into field 20 of one label.
        {1, unclosedAtTheEnd + lotRecord("b") + lotRecord("c"), 0, frame::kReadUnclosedQuote},
        // Positions 6 to 9 would read past the end; the quote's number is the one shown.
        {2, lotRecord("a") + lotRecord("b") + unclosedInTheMiddle, 2, frame::kReadUnclosedQuote},
    };
    for (const UnclosedQuoteRow& row : rows) {
        SCOPED_TRACE(row.row);
        testing_support::Job job(goods::kGoodsEdition);
        job.run("/LABEL3 /" + writeData("NYUKA_LOT.DAT", row.data) + " /DRV /DRV:TEC B-374");
        EXPECT_EQ(job.control.issueCount, row.labels);
        EXPECT_EQ(job.window.boxes.at(0).text,
                  "ERR: " + std::to_string(row.failure) + " データファイルの読み込みに失敗しました。発行を中止します。");
        EXPECT_EQ(job.form.outcome(), frame::JobOutcome::Failed);
        EXPECT_EQ(job.control.calls.back().dispId, DispId::ClosePort);
    }
}

// 6,000 records of 48 bytes, the first 64 KiB read before the first label. A change after
// label 1 is noticed at the next read of the file: the 1,365 records wholly inside the
// first 65,536 bytes are issued, the one across the boundary is not, and nothing of a new
// content ever reaches a label.
TEST_F(IssueLoopTest, AFileChangedUnderTheJobEndsItWithItsOwnNumber) {
    namespace fs = std::filesystem;
    const auto records = [](const std::string& tag) {
        std::string data;
        char record[64];
        for (int i = 1; i <= 6000; ++i) {
            std::snprintf(record, sizeof record, "%s%05d,2,3,4,5,6,7,8,%s%024d\r\n", tag.c_str(), i, tag.c_str(), i);
            data += record;
        }
        return data;
    };
    struct Row {
        int row;
        std::function<void(const fs::path&)> change;
        std::int64_t labels;
        int failure;
    };
    const std::vector<Row> rows{
        {1, [](const fs::path& file) { fs::resize_file(file, 65536); }, 1365, frame::kReadFileChanged},
        {2, [&](const fs::path& file) { std::ofstream(file, std::ios::binary) << records("N"); }, 1365,
         frame::kReadFileChanged},
        {3, [&](const fs::path& file) {
             std::ofstream(file.string() + ".new", std::ios::binary) << records("N");
             fs::rename(file.string() + ".new", file);
         }, 1365, frame::kReadFileChanged},
        {4, [](const fs::path& file) { std::ofstream(file, std::ios::app) << "x,y\r\n"; }, 1365,
         frame::kReadFileChanged},
        // A file that is only removed keeps what was opened: every record is issued.
        {5, [](const fs::path& file) { fs::remove(file); }, 6000, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        const std::string callerPath = writeData("NYUKA_LOT.DAT", records("r"));
        const fs::path file = folder / "NYUKA_LOT.DAT";
        // Written an hour ago, so that a rewrite of the same size shows in the time.
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
        testing_support::Job job(goods::kGoodsEdition);
        job.control.afterIssue = [&](int n) {
            if (n == 1) row.change(file);
        };
        job.run("/LABEL3 /" + callerPath + " /DRV /DRV:TEC B-374");
        EXPECT_EQ(job.control.issueCount, row.labels);
        if (row.failure != 0) {
            ASSERT_EQ(job.window.boxes.size(), 1u);
            EXPECT_EQ(job.window.boxes[0].text,
                      "ERR: " + std::to_string(row.failure) + " データファイルの読み込みに失敗しました。発行を中止します。");
        } else {
            EXPECT_TRUE(job.window.boxes.empty());
        }
        const auto fields = testing_support::setFieldCalls(job.control);
        EXPECT_TRUE(std::none_of(fields.begin(), fields.end(),
                                 [](const auto& call) { return call.second.starts_with("N"); }));
    }
}

TEST_F(IssueLoopTest, LoadFormatFailureStopsBeforeTheDataFileOpens) {
    control.script(DispId::LoadFormat, Answer{frame::kVbFalse, frame::resultCodeFor(1300), {}, false});
    runJob("/LABEL1 /\\nonexistent\\NYUKA.DAT /DRV /X");
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "ラベルフォーマットファイルの読み込みに失敗しました。発行を中止します。");
    EXPECT_TRUE(control.callsOf(DispId::OpenPort).empty());
    EXPECT_EQ(count("ClosePort()"), 1u);
}

TEST_F(IssueLoopTest, AnyNonZeroAnswerCountsAsTrue) {
    control.script(DispId::LoadFormat, Answer{1, 0, {}, false});
    control.script(DispId::OpenPort, Answer{42, 0, {}, false});
    control.script(DispId::Issue, Answer{-7, 0, {}, false});
    runJob(lotLine(lotRecord("a")));
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(IssueLoopTest, ThrownFailuresCountAsFalseAndCheckResultJudgesTheLastResult) {
    // Every answer leaves a normal status report in LastResult, so CheckResult lets the
    // job go on past every thrown call.
    control.defaultAnswer = Answer{frame::kVbTrue, frame::kPrinterStatusReport, "00", false};
    form.state().LastResult = frame::kPrinterStatusReport;
    form.state().LastStatus = "00";
    control.script(DispId::LoadFormat, Answer{frame::kVbTrue, 0, {}, true});
    control.script(DispId::OpenPort, Answer{frame::kVbTrue, 0, {}, true});
    control.script(DispId::Issue, Answer{frame::kVbTrue, 0, {}, true});
    control.script(DispId::SetField, Answer{frame::kVbTrue, 0, {}, true});
    control.script(DispId::PortSetting, Answer{frame::kVbTrue, 0, {}, true});
    control.script(DispId::ClosePort, Answer{frame::kVbTrue, 0, {}, true});
    runJob(lotLine(lotRecord("a") + lotRecord("b")));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(control.callsOf(DispId::SetField).size(), 28u);  // only the thrown call was skipped, the rest ran
    EXPECT_EQ(control.callsOf(DispId::UsePrinter).size(), 1u);  // the driver went on after PortSetting threw
    EXPECT_TRUE(window.unloaded);
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
}

TEST_F(IssueLoopTest, AThrownIssueWithAFailureCodeStopsTheJob) {
    control.script(DispId::Issue, Answer{frame::kVbTrue, 0, {}, true});
    form.state().LastResult = 0;
    runJob(lotLine(lotRecord("a") + lotRecord("b")));
    EXPECT_EQ(control.issueCount, 1);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "未定義エラーが発生しました。 (Result = 0)発行を中止します。");
}

TEST_F(IssueLoopTest, AFailedIssueThatCheckResultLetsPassCountsLikeASuccess) {
    control.script(DispId::Issue, Answer{frame::kVbFalse, frame::kPrinterStatusReport, "11", false});
    runJob(lotLine(lotRecord("a") + lotRecord("b")));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_EQ(form.state().IssuedCount, 2);
    EXPECT_EQ(form.state().LastStatus, "");  // the second Issue wrote its own status
    EXPECT_EQ(count("status:プリンタに異常が発生しました。 (11)\r\nプリンタのエラーを解除してください。"), 1u);
}

TEST_F(IssueLoopTest, AFailedIssueStopsWithItsMessageAndClosesDown) {
    control.script(DispId::Issue, Answer{});
    control.script(DispId::Issue, Answer{frame::kVbFalse, kWriteFailed, {}, false});
    runJob(lotLine(lotRecord("a") + lotRecord("b") + lotRecord("c")));
    EXPECT_EQ(control.issueCount, 2);
    const Journal tail(journal.end() - 5, journal.end());
    EXPECT_EQ(tail, (Journal{"hide", "box:ポートへの書き込みに失敗しました。発行を中止します。", "ClosePort()", "hide",
                             "unload"}));
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Failed);
}

TEST_F(IssueLoopTest, PortKindChoosesThePortCodeAndSetting) {
    struct Row {
        int row;
        std::string port;
        std::int64_t code;
        std::string setting;
    };
    const std::vector<Row> rows{
        {1, "DRV /DRV:TEC B-374", 1, "DRV:TEC B-374"},
        {2, "COM /", 2, "COM1:9600,E,8,1"},
        {3, "COM /DRV:ignored", 2, "COM1:9600,E,8,1"},
        {4, "drv /DRV:X", 0, ""},
        {5, "LPT /X", 0, ""},
        {6, "DRV/DRV:X", 0, ""},  // the port kind lost its last character
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        testing_support::Job job(goods::kGoodsEdition);
        job.run(lotLine("", row.port));
        EXPECT_EQ(job.form.state().PortSetting, row.setting);
        EXPECT_EQ(job.control.callsOf(DispId::PortSetting).at(0).args.at(0), testing_support::Argument{row.setting});
        EXPECT_EQ(job.control.callsOf(DispId::OpenPort).at(0).args.at(0), testing_support::Argument{row.code});
    }
}

TEST_F(IssueLoopTest, ADataKindWithoutATableIssuesEveryNineFieldsWithNoFieldSet) {
    runJob("/LABEL9 /" + writeData("OTHER.DAT", lotRecord("a") + lotRecord("b")) + " /DRV /X");
    EXPECT_EQ(form.state().DataKind, "");
    EXPECT_EQ(form.state().FieldCount, 9);
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_TRUE(control.callsOf(DispId::SetField).empty());
}

TEST_F(IssueLoopTest, RecordsAreCountedInFieldsNotLines) {
    // Two lot records spread over lines of 4, 7 and 7 fields.
    runJob(lotLine("a,b,c,d\r\ne,f,g,h,i,j,k\r\nl,m,n,o,p,q,r\r\n"));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_EQ(control.callsOf(DispId::SetField).at(14),
              (testing_support::Call{DispId::SetField, {std::int64_t{1}, "k"}}));  // second record's position 2
}

TEST_F(IssueLoopTest, ActivationRunsTheJobOnlyOnce) {
    runJob(lotLine(lotRecord("a")));
    const auto callsAfterFirst = control.calls.size();
    form.Form_Activate();
    EXPECT_EQ(control.calls.size(), callsAfterFirst);
}

TEST_F(IssueLoopTest, ARejectedLineShowsOneMessageAndTouchesNothing) {
    for (const char* line : {"/LABEL1 /NYUKA.DAT /DRV", "/LABEL1 //DRV /X", "", "LABEL1 NYUKA.DAT DRV X"}) {
        SCOPED_TRACE(line);
        testing_support::Job job(goods::kGoodsEdition);
        EXPECT_FALSE(job.form.Form_Load(line));
        EXPECT_EQ(job.form.outcome(), frame::JobOutcome::Rejected);
        ASSERT_EQ(job.window.boxes.size(), 1u);
        EXPECT_EQ(job.window.boxes[0].title, "メッセージ");
        EXPECT_EQ(job.window.boxes[0].icon, frame::MessageIcon::Exclamation);
        EXPECT_EQ(job.window.boxes[0].text,
                  "コマンドラインの指定に誤りがあります。発行を中止します。\r\n"
                  "(/ラベルフォーマット /データファイル /ポート種別 /ドライバ)");
        EXPECT_TRUE(job.control.calls.empty());
    }
}

TEST_F(IssueLoopTest, LoadFillsTheJobStateFromTheLine) {
    ASSERT_TRUE(form.Form_Load("/LABEL1 /C:\\DATA\\NYUKA.DAT /COM /"));
    const frame::JobState& state = form.state();
    EXPECT_EQ(state.JobArgs[1], "LABEL1");
    EXPECT_EQ(state.JobArgs[2], "C:\\DATA\\NYUKA.DAT");
    EXPECT_EQ(state.PortKind, "COM");
    EXPECT_EQ(state.PortSetting, "COM1:9600,E,8,1");
    EXPECT_EQ(state.DataKind, "NYUKA.DAT");
    EXPECT_EQ(state.FieldCount, 24);
    EXPECT_EQ(state.StatusArrived, frame::kVbFalse);
    EXPECT_EQ(state.StopRequested, frame::kVbFalse);
    EXPECT_TRUE(control.calls.empty());  // loading never touches the control
}

TEST_F(IssueLoopTest, CountersGoOnPastSixteenBits) {
    std::string data;
    data.reserve(40000 * 10);
    for (int i = 0; i < 40000; ++i) data += "1,2,3,4,5,6,7,8,9\n";
    runJob("/LABEL9 /" + writeData("MANY.DAT", data) + " /DRV /X");
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
    EXPECT_EQ(form.state().IssuedCount, 40000);
    EXPECT_EQ(form.state().PrintedCount, 40000);
    EXPECT_EQ(count("status:32768レコード目を発行中．．．"), 1u);
    EXPECT_EQ(window.statusText(), "40000レコード目を発行中．．．");
}

}  // namespace
