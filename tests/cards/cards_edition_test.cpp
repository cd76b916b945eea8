// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "cards/cards_edition.h"
#include "job_fixture.h"

namespace {

using frame::DispId;
using testing_support::Argument;
using testing_support::Journal;
using testing_support::taggedRecord;
using Table = std::vector<std::pair<int, int>>;

const Table kShelfCard{{2, 2},   {4, 3},   {6, 4},   {9, 5},   {10, 6},  {12, 7},  {14, 8},  {16, 9},
                       {17, 10}, {20, 13}, {21, 11}, {22, 12}, {23, 7},  {25, 8},  {27, 9},  {28, 10}};
const Table kPriceCard{{1, 4}, {2, 7}, {3, 8}, {5, 5}, {8, 12}, {9, 9}, {10, 10}, {11, 13}, {12, 11}};
const Table kPriceSeal{{2, 8}, {4, 7}, {5, 9}, {6, 6}, {7, 11}, {8, 10}, {9, 13}};

class CardsJob : public testing_support::JobFixture {
protected:
    CardsJob() : JobFixture(cards::kCardsEdition) {}

    std::string line(const std::string& fileName, const std::string& data, const std::string& portKind = "DRV") {
        return "/CARD /" + writeData(fileName, data) + " /" + portKind;
    }
};

TEST_F(CardsJob, EachKindFollowsItsTableWithTheSameIssueArguments) {
    struct Row {
        const char* fileName;
        const Table* table;
    };
    for (const Row& row : {Row{"TANACARD.DAT", &kShelfCard}, Row{"PRICCARD.DAT", &kPriceCard},
                           Row{"PRICSEAL.DAT", &kPriceSeal}}) {
        SCOPED_TRACE(row.fileName);
        testing_support::Job job(cards::kCardsEdition);
        job.run(line(row.fileName, taggedRecord(13, "a") + taggedRecord(13, "b")));
        auto both = testing_support::expectedCalls(*row.table, "a");
        const auto second = testing_support::expectedCalls(*row.table, "b");
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_EQ(testing_support::setFieldCalls(job.control), both);
        EXPECT_EQ(job.form.state().FieldCount, 13);
        for (const auto& call : job.control.callsOf(DispId::Issue)) {
            EXPECT_EQ(call.args, (std::vector<Argument>{std::int64_t{1}, std::int64_t{0}}));
        }
    }
}

TEST_F(CardsJob, APriceSealIsSevenFieldsThenOneIssue) {
    runJob(line("PRICSEAL.DAT", taggedRecord(13, "s")));
    Journal calls;
    for (const auto& entry : journal) {
        if (entry.rfind("SetField", 0) == 0 || entry.rfind("Issue", 0) == 0) calls.push_back(entry);
    }
    EXPECT_EQ(calls, (Journal{"SetField(2,s8)", "SetField(4,s7)", "SetField(5,s9)", "SetField(6,s6)",
                              "SetField(7,s11)", "SetField(8,s10)", "SetField(9,s13)", "Issue(1,0)"}));
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
