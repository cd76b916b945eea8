// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "job_fixture.h"
#include "tsubaki/tsubaki_edition.h"

namespace {

using frame::DispId;
using testing_support::Argument;
using testing_support::taggedRecord;

class TsubakiJob : public testing_support::JobFixture {
protected:
    TsubakiJob() : JobFixture(tsubaki::kTsubakiEdition) {}

    std::string line(const std::string& fileName, const std::string& data) {
        return "/TBCARD /" + writeData(fileName, data) + " /DRV /DRV:TEC B-374";
    }
};

// A record whose every value differs from the others of its line.
const testing_support::SampleRecord kTsubakiSample{
    "TBCARD", "TSUBAKI.DAT", 10, 4,
    {{1, "株式会社スーパーみなと"}, {2, "つづき台店"}, {3, "調味料売場"}, {4, "C2612-00034"},
     {5, "丸大豆 こいくち醤油 天然醸造"}, {6, "1L"}, {8, "12"}, {9, "2026/12/09"}, {11, "本"}, {13, "245"},
     {14, "4905531051261"}, {16, "2,940"}, {17, "瓶入り 取扱注意"}, {18, "TSB|C2612-00034|4905531051261|12|20261209"}}};

TEST_F(TsubakiJob, SampleRecordsReachTheLabelFieldsTheSamplesDescribeAndIssueWithOneAndOne) {
    testing_support::Job job(tsubaki::kTsubakiEdition);
    expectSampleJob(job, kTsubakiSample, "DRV /DRV:TEC B-374", 1);
    EXPECT_EQ(job.control.callsOf(DispId::UsePrinter).at(0).args.at(0), Argument{std::int64_t{1}});
}

TEST_F(TsubakiJob, AFileNamedLikeAGoodsDataKindIsReadAsCards) {
    testing_support::Job cards(tsubaki::kTsubakiEdition);
    cards.run(line("CARDS.DAT", taggedRecord(25, "n")));
    runJob(line("NYUKA.DAT", taggedRecord(25, "n")));
    EXPECT_EQ(form.state().DataKind, "");
    EXPECT_EQ(form.state().FieldCount, 0);
    EXPECT_EQ(testing_support::setFieldCalls(control).size(), 14u);
    EXPECT_EQ(testing_support::setFieldCalls(control), testing_support::setFieldCalls(cards.control));
}

TEST_F(TsubakiJob, FieldsAreCountedAcrossLines) {
    std::string data;
    for (int i = 1; i <= 50; ++i) data += "v" + std::to_string(i) + (i % 10 == 0 ? "\r\n" : ",");
    runJob(line("CARDS.DAT", data));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_EQ(testing_support::setFieldCalls(control).at(14 + 3), (std::pair<std::int64_t, std::string>{4, "v26"}));
}

TEST_F(TsubakiJob, AnIncompleteLastRecordIsNeitherSetNorIssued) {
    std::string data = taggedRecord(25, "a") + taggedRecord(25, "b");
    for (int i = 1; i <= 12; ++i) data += "c" + std::to_string(i) + ",";
    runJob(line("CARDS.DAT", data + "c13\r\n"));
    EXPECT_EQ(control.issueCount, 2);
    EXPECT_EQ(control.callsOf(DispId::SetField).size(), 28u);
    EXPECT_EQ(window.boxes.at(0).text, "ERR: 62 データファイルの読み込みに失敗しました。発行を中止します。");
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Failed);
}

TEST_F(TsubakiJob, UnusedRecordFieldsNeverReachTheControl) {
    std::string changed = taggedRecord(25, "a");
    for (const int unused : {2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 16}) {
        const std::string from = ",a" + std::to_string(unused) + ",";
        changed.replace(changed.find(from), from.size(), ",other" + std::to_string(unused) + ",");
    }
    runJob(line("CARDS.DAT", taggedRecord(25, "a") + changed));
    const auto calls = testing_support::setFieldCalls(control);
    ASSERT_EQ(calls.size(), 28u);
    EXPECT_EQ(std::vector(calls.begin(), calls.begin() + 14), std::vector(calls.begin() + 14, calls.end()));
}

TEST_F(TsubakiJob, ARejectedSetFieldNeitherStopsNorShowsAnything) {
    control.script(DispId::SetField, testing_support::Answer{frame::kVbFalse, frame::resultCodeFor(1303), {}, false});
    runJob(line("CARDS.DAT", taggedRecord(25, "a")));
    EXPECT_EQ(control.issueCount, 1);
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(form.outcome(), frame::JobOutcome::Finished);
}

TEST_F(TsubakiJob, AnEmptyFileMakesNoCallsAndNoCompletionMessage) {
    runJob(line("CARDS.DAT", ""));
    EXPECT_TRUE(control.callsOf(DispId::SetField).empty());
    EXPECT_EQ(control.issueCount, 0);
    EXPECT_TRUE(window.boxes.empty());
}

}  // namespace
