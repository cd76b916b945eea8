// SPDX-License-Identifier: MIT
#include "job_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace testing_support {

Job::Job(const frame::Edition& edition) : control(journal), window(journal), form(edition, window, control) {
    window.clickStop = [this] { form.cmdStop_Click(); };
}

void Job::run(const std::string& commandLine) {
    ASSERT_TRUE(form.Form_Load(commandLine));
    form.Form_Activate();
}

JobFixture::JobFixture(const frame::Edition& edition) : job_(edition) {
    static int counter = 0;
    folder = std::filesystem::temp_directory_path() /
             ("frame-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(folder);
}

JobFixture::~JobFixture() { std::filesystem::remove_all(folder); }

std::string JobFixture::writeData(const std::string& name, const std::string& bytes) {
    const auto path = folder / name;
    std::ofstream(path, std::ios::binary) << bytes;
    std::string callerPath = path.string();
    std::replace(callerPath.begin(), callerPath.end(), '/', '\\');
    return callerPath;
}


}  // namespace testing_support

namespace testing_support {

std::string taggedRecord(int fieldCount, const std::string& tag) {
    std::string line;
    for (int i = 1; i <= fieldCount; ++i) line += (i > 1 ? "," : "") + tag + std::to_string(i);
    return line + "\r\n";
}

FieldCalls setFieldCalls(const FakeControl& control) {
    FieldCalls calls;
    for (const auto& call : control.callsOf(frame::DispId::SetField)) {
        calls.emplace_back(std::get<std::int64_t>(call.args.at(0)), std::get<std::string>(call.args.at(1)));
    }
    return calls;
}

std::vector<FieldCalls> fieldCallsPerIssue(const FakeControl& control) {
    std::vector<FieldCalls> records(1);
    for (const Call& call : control.calls) {
        if (call.dispId == frame::DispId::Issue) records.emplace_back();
        if (call.dispId != frame::DispId::SetField) continue;
        records.back().emplace_back(std::get<std::int64_t>(call.args.at(0)), std::get<std::string>(call.args.at(1)));
    }
    EXPECT_TRUE(records.back().empty()) << "SetField calls after the last Issue";
    records.pop_back();
    return records;
}

namespace {

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

void JobFixture::expectSampleJob(Job& job, const SampleRecord& sample, const std::string& portPart,
                                 std::int64_t second) {
    const std::string bytes = fileBytes(std::filesystem::path(MOKUREN_SAMPLES_DIR) / "DATA" / sample.dataFile);
    ASSERT_FALSE(bytes.empty()) << sample.dataFile;
    job.run("/" + std::string(sample.format) + " /" + writeData(sample.dataFile, bytes) + " /" + portPart);
    EXPECT_EQ(job.form.outcome(), frame::JobOutcome::Finished);
    const std::vector<FieldCalls> records = fieldCallsPerIssue(job.control);
    ASSERT_EQ(records.size(), sample.recordCount);
    for (const FieldCalls& record : records) EXPECT_EQ(record.size(), sample.calls.size());
    EXPECT_EQ(records.at(sample.record - 1), sample.calls);
    for (const Call& issue : job.control.callsOf(frame::DispId::Issue)) {
        EXPECT_EQ(issue.args, (std::vector<Argument>{std::int64_t{1}, second}));
    }
}

}  // namespace testing_support
