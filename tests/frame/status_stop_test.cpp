// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "goods/goods_edition.h"
#include "job_fixture.h"

namespace {

using frame::DispId;
using frame::MessageAnswer;
using testing_support::Journal;

constexpr frame::ResultCode kCommunicationError = frame::resultCodeFor(1101);  // 0x800A044D

class StatusStopTest : public testing_support::JobFixture {
protected:
    StatusStopTest() : JobFixture(goods::kGoodsEdition) {}

    std::string lotLine(int records, const std::string& port) {
        std::string data;
        for (int i = 1; i <= records; ++i) data += "r" + std::to_string(i) + ",2,3,4,5,6,7,8,9\r\n";
        return "/LABEL3 /" + writeData("NYUKA_LOT.DAT", data) + " /" + port;
    }
    std::size_t count(const std::string& entry) const {
        return static_cast<std::size_t>(std::count(journal.begin(), journal.end(), entry));
    }
    std::size_t stopQuestions() const { return count("box:発行を中止します。よろしいですか？"); }
};

TEST_F(StatusStopTest, AConfirmedLabelAdvancesThePrintedCountAndTheStatusLine) {
    form.state().PrintedCount = 4;
    form.BcpCtrl_OnStatus("40", frame::kPrinterStatusReport);
    EXPECT_EQ(form.state().PrintedCount, 5);
    EXPECT_EQ(window.statusText(), "6レコード目を発行中．．．");
    EXPECT_EQ(form.state().StatusArrived, frame::kVbTrue);
    EXPECT_EQ(form.state().LastStatus, "40");
    form.BcpCtrl_OnStatus("40 label done", frame::kPrinterStatusReport);  // longer texts count too
    EXPECT_EQ(form.state().PrintedCount, 6);
}

TEST_F(StatusStopTest, OtherNormalStatesOnlyRecordTheReport) {
    for (const char* status : {"41", "00", "02", "4", "11"}) {
        SCOPED_TRACE(status);
        form.state().StatusArrived = frame::kVbFalse;
        form.BcpCtrl_OnStatus(status, frame::kPrinterStatusReport);
        EXPECT_EQ(form.state().LastStatus, status);
        EXPECT_EQ(form.state().LastResult, frame::kPrinterStatusReport);
        EXPECT_EQ(form.state().StatusArrived, frame::kVbTrue);
        EXPECT_EQ(form.state().PrintedCount, 0);
    }
    EXPECT_TRUE(window.statusTexts.empty());
}

TEST_F(StatusStopTest, AnotherCodeKeepsTheLastStatusText) {
    form.state().LastStatus = "41";
    form.BcpCtrl_OnStatus("40", kCommunicationError);
    EXPECT_EQ(form.state().LastResult, kCommunicationError);
    EXPECT_EQ(form.state().LastStatus, "41");
    EXPECT_EQ(form.state().PrintedCount, 0);
}

TEST_F(StatusStopTest, EventsArriveOnlyWhenTheLoopYields) {
    control.afterIssue = [this](int n) {
        if (n == 1) control.queueStatus("11", frame::kPrinterStatusReport);
    };
    runJob(lotLine(2, "COM /"));
    const auto issue = std::find(journal.begin(), journal.end(), "Issue(1,0)");
    ASSERT_NE(issue, journal.end());
    // After the first label: progress text, then the yield raises the event, then the
    // check shows the fault, and the next record's progress text replaces it.
    EXPECT_EQ(Journal(issue + 1, issue + 5),
              (Journal{"status:1レコード目を発行中．．．",
                       "OnStatus(11," + std::to_string(frame::kPrinterStatusReport) + ")", "yield",
                       "status:プリンタに異常が発生しました。 (11)\r\nプリンタのエラーを解除してください。"}));
    EXPECT_EQ(window.statusText(), "2レコード目を発行中．．．");
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(StatusStopTest, ASerialJobStopsOnAFailureCodeFromAnEvent) {
    control.afterIssue = [this](int n) {
        if (n == 2) control.queueStatus("", kCommunicationError);
    };
    runJob(lotLine(5, "COM /"));
    EXPECT_EQ(control.issueCount, 2);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "通信エラーが発生しました。発行を中止します。");
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Failed);
}

TEST_F(StatusStopTest, ADriverJobNeverTakesStatusEvents) {
    control.afterIssue = [this](int) { control.queueStatus("", kCommunicationError); };
    runJob(lotLine(3, "DRV /DRV:TEC B-374"));
    EXPECT_EQ(control.issueCount, 3);
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(form.state().StatusArrived, frame::kVbTrue);
}

TEST_F(StatusStopTest, AnUnknownPortKindTakesNoStatusEventsEither) {
    control.afterIssue = [this](int) { control.queueStatus("", kCommunicationError); };
    runJob(lotLine(2, "com /"));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(StatusStopTest, SerialConfirmationsAddToTheCountThatTheLoopAlsoAdvances) {
    control.afterIssue = [this](int) { control.queueStatus("40", frame::kPrinterStatusReport); };
    runJob(lotLine(2, "COM /"));
    EXPECT_EQ(form.state().IssuedCount, 2);
    EXPECT_EQ(form.state().PrintedCount, 4);
    // Label 1, its confirmation, label 2, its confirmation.
    EXPECT_EQ(window.statusTexts, (std::vector<std::string>{"発行準備中．．．", "1レコード目を発行中．．．",
                                                           "1レコード目を発行中．．．", "3レコード目を発行中．．．",
                                                           "3レコード目を発行中．．．", "5レコード目を発行中．．．"}));
}

TEST_F(StatusStopTest, TheCompletionWaitNeverHoldsWithTheseCounters) {
    control.rewritePortCode = frame::kPortCodeDriver;  // the only way into the wait
    runJob(lotLine(3, "COM /"));
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
    EXPECT_EQ(window.yields, 2 + 3);  // steps 2 and 6, then one per record: no waiting yields
}

TEST_F(StatusStopTest, StopAnsweredNoChangesNothing) {
    window.stopAtYields = {3};
    window.answers = {MessageAnswer::No};
    runJob(lotLine(3, "DRV /X"));
    EXPECT_EQ(stopQuestions(), 1u);
    EXPECT_EQ(control.issueCount, 3);
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
}

TEST_F(StatusStopTest, StopConfirmedAfterRecordNEndsTheJobWithoutAMessageOfItsOwn) {
    window.stopAtYields = {4};  // the yield after record 2
    runJob(lotLine(5, "COM /"));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_EQ(window.boxes.size(), 1u);  // only the question
    const frame::MessageBox question{"発行を中止します。よろしいですか？", "メッセージ", frame::MessageIcon::Question,
                                     frame::MessageButtons::YesNo};
    EXPECT_EQ(window.boxes[0], question);
    EXPECT_EQ(window.boxes[0].style(), 36);
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Stopped);
    EXPECT_EQ(Journal(journal.end() - 3, journal.end()), (Journal{"ClosePort()", "hide", "unload"}));
}

TEST_F(StatusStopTest, StopDuringPreparationStillIssuesTheFirstRecord) {
    for (const int yield : {1, 2}) {
        SCOPED_TRACE(yield);
        testing_support::Job job(goods::kGoodsEdition);
        job.window.stopAtYields = {yield};
        job.run(lotLine(3, "DRV /X"));
        EXPECT_EQ(job.control.issueCount, 1);
        EXPECT_EQ(job.form.outcome(), frame::JobOutcome::Stopped);
    }
}

TEST_F(StatusStopTest, StopDuringPreparationOfAnEmptyFileStillFinishes) {
    window.stopAtYields = {2};
    runJob("/LABEL3 /" + writeData("EMPTY.DAT", "") + " /DRV /X");
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
}

TEST_F(StatusStopTest, StopAnsweredYesTwiceAsksTwiceAndStaysRequested) {
    form.cmdStop_Click();
    form.cmdStop_Click();
    EXPECT_EQ(stopQuestions(), 2u);
    EXPECT_EQ(form.state().StopRequested, frame::kVbTrue);
    window.answers = {MessageAnswer::No};
    form.cmdStop_Click();
    EXPECT_EQ(form.state().StopRequested, frame::kVbTrue);  // No never takes a Stop back
}

TEST_F(StatusStopTest, StopIsOnlyTestedRightAfterTheYieldThatFollowsARecord) {
    // A Stop pressed while the control issues a label takes effect after that label.
    control.afterIssue = [this](int n) {
        if (n == 1) form.state().StopRequested = frame::kVbTrue;
    };
    runJob(lotLine(3, "DRV /X"));
    EXPECT_EQ(control.issueCount, 1);
    const auto issue = std::find(journal.begin(), journal.end(), "Issue(1,0)");
    EXPECT_EQ(Journal(issue + 1, issue + 4), (Journal{"status:1レコード目を発行中．．．", "yield", "ClosePort()"}));
}

}  // namespace
