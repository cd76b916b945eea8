// SPDX-License-Identifier: MIT
// The record source against the programs themselves: each sample data file run through
// the real issuing loop with a recording control gives, record for record, the SetField
// calls the record source gives; a file the loop stops on gives the message it shows.
#include "designer/record_source.h"

#include <gtest/gtest.h>

#include "designer_test_files.h"
#include "job_fixture.h"
#include "sample_jobs.h"
#include "temp_dir.h"

namespace designer {
namespace {

using testing_support::FieldCalls;

// A path as a caller writes it on the command line: "\" between folders.
std::string callerPath(const std::filesystem::path& path) {
    std::string text = path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

FieldCalls callsOf(const DataRecord& record) {
    FieldCalls calls;
    for (const auto& [field, text] : record.setFields) calls.emplace_back(field, text);
    return calls;
}

RecordSource opened(const std::filesystem::path& file, const DataKindChoice& kind) {
    auto source = RecordSource::open(file, kind);
    if (auto* error = std::get_if<std::string>(&source)) ADD_FAILURE() << *error;
    return std::move(std::get<RecordSource>(source));
}

TEST(RecordSource, EverySampleRecordGivesTheSetFieldCallsOfTheProgram) {
    for (const auto& sample : testing_support::sampleJobs()) {
        SCOPED_TRACE(sample.format);
        const bool tsubaki = sample.kind == tsubaki::kTsubakiEdition.onlyKind;
        const DataKindChoice* kind = findDataKindChoice(tsubaki ? "TSUBAKI" : sample.dataFile);
        ASSERT_NE(kind, nullptr);
        EXPECT_EQ(kind->kind, sample.kind);
        testing_support::Job job(*kind->edition);
        const auto data = designer_testing::sampleDataPath(sample.dataFile);
        job.run("/" + sample.format + " /" + callerPath(data) + " /DRV /DRV:TEC B-374");
        const std::vector<FieldCalls> issued = testing_support::fieldCallsPerIssue(job.control);
        const RecordSource source = opened(data, *kind);
        ASSERT_EQ(source.size(), static_cast<std::int64_t>(issued.size()));
        EXPECT_GE(source.size(), 10);
        for (std::int64_t number = 1; number <= source.size(); ++number) {
            EXPECT_FALSE(source.record(number).refused());
            EXPECT_EQ(callsOf(source.record(number)), issued[static_cast<std::size_t>(number - 1)]) << number;
        }
        EXPECT_FALSE(source.endedEarly());
    }
}

struct FaultRow {
    int row;
    std::string secondRecord;
    std::int64_t records;  // that the record source gives
    bool endedEarly;
};

TEST(RecordSource, ARecordTheProgramRefusesGivesTheMessageItShows) {
    const std::string good = testing_support::taggedRecord(24, "a");
    const std::string last = testing_support::taggedRecord(24, "z");
    const std::string fromThird = good.substr(good.find(",a3"));
    const std::vector<FaultRow> rows{
        {1, "b1,\x81\x20" + fromThird, 3, false},  // not CP932: the designer reads on
        {2, "b1,\"never closed" + fromThird, 2, true},
        {3, "b1,b2\r\n", 2, false},  // the file ends inside the record
    };
    const DataKindChoice& kind = *findDataKindChoice("NYUKA.DAT");
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.row);
        const testing_support::TempDir dir;
        const auto file = dir.write("NYUKA.DAT", good + row.secondRecord + (row.row == 3 ? "" : last));
        testing_support::Job job(*kind.edition);
        job.run("/LABEL1 /" + callerPath(file) + " /DRV /DRV:TEC B-374");
        ASSERT_EQ(job.control.issueCount, 1);
        ASSERT_FALSE(job.window.boxes.empty());
        const RecordSource source = opened(file, kind);
        ASSERT_EQ(source.size(), row.records);
        EXPECT_FALSE(source.record(1).refused());
        ASSERT_TRUE(source.record(2).refused());
        EXPECT_EQ(source.record(2).refusal, job.window.boxes.back().text);
        EXPECT_TRUE(source.record(2).setFields.empty());
        EXPECT_EQ(source.endedEarly(), row.endedEarly);
    }
    const testing_support::TempDir dir;
    auto missing = RecordSource::open(dir.path() / "none.DAT", kind);
    ASSERT_TRUE(std::holds_alternative<std::string>(missing));
    EXPECT_EQ(std::get<std::string>(missing), "データファイルのオープンに失敗しました。発行を中止します。");
}

}  // namespace
}  // namespace designer
