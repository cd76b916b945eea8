// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "cards/cards_edition.h"
#include "job_fixture.h"

namespace {

using frame::DispId;
using testing_support::Argument;
using testing_support::Journal;
using testing_support::taggedRecord;

class CardsJob : public testing_support::JobFixture {
protected:
    CardsJob() : JobFixture(cards::kCardsEdition) {}

    std::string line(const std::string& fileName, const std::string& data, const std::string& portKind = "DRV") {
        return "/CARD /" + writeData(fileName, data) + " /" + portKind;
    }
};

// Records whose every value differs from the others of its line; the three kinds share
// one layout and each prints its own part of it.
const std::vector<testing_support::SampleRecord> kCardSamples{
    {"CARD1", "TANACARD.DAT", 11, 1,
     {{2, "スーパーみなと 港北店"}, {4, "菓子"}, {6, "05-02-3"}, {9, "株式会社髙森堂製菓"}, {10, "K10254"},
      {12, "黒糖かりんとう 徳用袋"}, {14, "4571123400153"}, {16, "300g"}, {17, "398"}, {20, "100gあたり 143.0円"},
      {21, "429"}, {22, "軽減税率8%"}, {23, "黒糖かりんとう 徳用袋"}, {25, "4571123400153"}, {27, "300g"},
      {28, "398"}}},
    {"CARD2", "PRICCARD.DAT", 11, 1,
     {{1, "05-02-3"}, {2, "黒糖かりんとう 徳用袋"}, {3, "4571123400153"}, {5, "株式会社髙森堂製菓"},
      {8, "軽減税率8%"}, {9, "300g"}, {10, "398"}, {11, "100gあたり 143.0円"}, {12, "429"}}},
    {"SEAL1", "PRICSEAL.DAT", 10, 1,
     {{2, "49123012"}, {4, "ミントタブレット 強刺激"}, {5, "30粒"}, {6, "K11002"}, {7, "162"}, {8, "150"},
      {9, "1粒あたり 5.4円"}}},
};

TEST_F(CardsJob, SampleRecordsReachTheLabelFieldsTheSamplesDescribeAndIssueWithOneAndZero) {
    for (const auto& sample : kCardSamples) {
        SCOPED_TRACE(sample.dataFile);
        testing_support::Job job(cards::kCardsEdition);
        expectSampleJob(job, sample, "DRV", 0);
    }
}

TEST_F(CardsJob, TheDataKindIsTheLastKeywordInItsOrderAnywhereOnTheLine) {
    struct Row {
        int row;
        const char* line;
        const char* dataKind;
    };
    const std::vector<Row> rows{
        {1, "/TANACARD /DATA\\PRICSEAL.DAT /DRV", "PRICSEAL.DAT"},
        {2, "/CARD /TANACARD_PRICCARD.DAT /DRV", "PRICCARD.DAT"},
        {3, "/PRICSEAL /PRICCARD.DAT /COM", "PRICSEAL.DAT"},
        {4, "/CARD /X.DAT /DRVTANACARD", "TANACARD.DAT"},  // the port kind counts too
        {5, "/CARD /tanacard.dat /DRV", ""},
        {6, "/CARD /Priccard.DAT /DRV", ""},
        {7, "/CARD /NYUKA.DAT /DRV", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        testing_support::Job job(cards::kCardsEdition);
        ASSERT_TRUE(job.form.Form_Load(row.line));
        EXPECT_EQ(job.form.state().DataKind, row.dataKind);
        EXPECT_EQ(job.form.state().FieldCount, 13);
    }
}

TEST_F(CardsJob, NoKeywordIssuesEveryThirteenFieldsWithNoFieldSet) {
    runJob(line("CARDS.DAT", taggedRecord(13, "a") + taggedRecord(13, "b")));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_TRUE(control.callsOf(DispId::SetField).empty());
}

TEST_F(CardsJob, PortKindRunsToTheEndOfTheLine) {
    struct Row {
        int row;
        std::string portPart;
        std::string portKind;
        std::string setting;
        std::int64_t code;
    };
    const std::vector<Row> rows{
        {1, "DRV", "DRV", "DRV:TEC B-374", 1},
        {2, "COM", "COM", "COM1:9600,E,8,1", 2},
        {3, "DRV /DRV:TEC B-374", "DRV /DRV:TEC B-374", "", 0},  // a goods-style line
        {4, "COM  ", "COM ", "", 0},                            // trailing blanks keep one
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        testing_support::Job job(cards::kCardsEdition);
        job.run("/CARD1 /" + writeData("TANACARD.DAT", "") + " /" + row.portPart);
        EXPECT_EQ(job.form.state().PortKind, row.portKind);
        EXPECT_EQ(job.control.calls.at(0), (testing_support::Call{DispId::PortSetting, {row.setting}}));
        EXPECT_EQ(job.control.calls.at(1), (testing_support::Call{DispId::UsePrinter, {std::int64_t{0}}}));
        EXPECT_EQ(job.control.callsOf(DispId::OpenPort).at(0).args.at(0), Argument{row.code});
    }
}

TEST_F(CardsJob, OnlyASerialPortTakesStatusEvents) {
    control.afterIssue = [this](int) { control.queueStatus("", frame::resultCodeFor(1101)); };
    runJob(line("TANACARD.DAT", taggedRecord(13, "a") + taggedRecord(13, "b"), "COM"));
    EXPECT_EQ(control.issueCount, 1);
    EXPECT_EQ(window.boxes.at(0).text, "通信エラーが発生しました。発行を中止します。");

    testing_support::Job job(cards::kCardsEdition);
    job.control.afterIssue = [&job](int) { job.control.queueStatus("", frame::resultCodeFor(1101)); };
    job.run(line("TANACARD.DAT", taggedRecord(13, "a") + taggedRecord(13, "b"), "COM "));
    EXPECT_EQ(job.control.issueCount, 2);
}

TEST_F(CardsJob, AFinishedJobReportsCompletionAfterTheWindowIsHidden) {
    runJob(line("PRICCARD.DAT", taggedRecord(13, "a")));
    EXPECT_EQ(Journal(journal.end() - 4, journal.end()),
              (Journal{"ClosePort()", "hide", "box:印刷が完了しました。", "unload"}));
    const frame::MessageBox done{"印刷が完了しました。", "メッセージ", frame::MessageIcon::Information,
                                 frame::MessageButtons::Ok};
    EXPECT_EQ(window.boxes.back(), done);
    EXPECT_EQ(window.boxes.back().style(), 64);
}

TEST_F(CardsJob, AnEmptyDataFileStillReportsCompletion) {
    runJob(line("PRICCARD.DAT", ""));
    EXPECT_EQ(control.issueCount, 0);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "印刷が完了しました。");
}

TEST_F(CardsJob, StopOrFailureReportsNoCompletion) {
    window.stopAtYields = {3};
    runJob(line("PRICCARD.DAT", taggedRecord(13, "a") + taggedRecord(13, "b")));
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Stopped);
    EXPECT_EQ(window.boxes.size(), 1u);  // the Stop question only

    testing_support::Job job(cards::kCardsEdition);
    job.control.script(DispId::Issue, testing_support::Answer{frame::kVbFalse, frame::resultCodeFor(1003), {}, false});
    job.run(line("PRICCARD.DAT", taggedRecord(13, "a")));
    ASSERT_EQ(job.window.boxes.size(), 1u);
    EXPECT_EQ(job.window.boxes[0].text, "ポートへの書き込みに失敗しました。発行を中止します。");

    // A file whose very first read fails is no empty file.
    testing_support::Job unreadable(cards::kCardsEdition);
    unreadable.run("/CARD1 /\\proc\\self\\mem /DRV");
    ASSERT_EQ(unreadable.window.boxes.size(), 1u);
    EXPECT_EQ(unreadable.window.boxes[0].text, "ERR: 57 データファイルの読み込みに失敗しました。発行を中止します。");
}

TEST_F(CardsJob, FourteenValuesOnALineShiftTheNextRecord) {
    std::string data = taggedRecord(13, "a");
    data.insert(data.size() - 2, ",extra");
    runJob(line("PRICSEAL.DAT", data + "b1,b2,b3,b4,b5,b6,b7,b8,b9,b10,b11,b12\r\n"));
    EXPECT_EQ(control.issueCount, 2);
    // The second record starts with "extra", so its position 6 holds b5.
    EXPECT_EQ(testing_support::setFieldCalls(control).at(7 + 3), (std::pair<std::int64_t, std::string>{6, "b5"}));
}

TEST_F(CardsJob, AShortLineCountIsAReadFailure) {
    runJob(line("TANACARD.DAT", taggedRecord(13, "a") + "b1,b2\r\n"));
    EXPECT_EQ(control.issueCount, 1);
    EXPECT_EQ(window.boxes.at(0).text, "ERR: 62 データファイルの読み込みに失敗しました。発行を中止します。");
}

TEST_F(CardsJob, ALineWithTooFewSlashesIsRejectedWithTheThreeArgumentForm) {
    EXPECT_FALSE(form.Form_Load("/CARD1 /TANACARD.DAT"));
    EXPECT_FALSE(form.Form_Load("/CARD1 //DRV"));
    ASSERT_EQ(window.boxes.size(), 2u);
    EXPECT_EQ(window.boxes[0].text,
              "コマンドラインの指定に誤りがあります。発行を中止します。\r\n(/ラベルフォーマット /データファイル /ポート種別)");
}

}  // namespace
