// SPDX-License-Identifier: MIT
// One job with a fake control, a scripted window and a data file in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fake_control.h"
#include "frame/issuing_form.h"
#include "scripted_window.h"

namespace testing_support {

// One job: a fake control and a scripted window writing one journal, and the form
// between them, with the window's Stop button connected to the form.
struct Job {
    explicit Job(const frame::Edition& edition);
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Loads the command line and runs the job.
    void run(const std::string& commandLine);

    Journal journal;
    FakeControl control;
    ScriptedWindow window;
    frame::IssuingForm form;
};

// SetField calls as (label field, text).
using FieldCalls = std::vector<std::pair<std::int64_t, std::string>>;

// One record of a sample data file (samples/DATA, described in samples/README.md) and
// the SetField calls it makes in call order, with the texts as the file holds them: the
// editions' record-to-label tables checked against data written without them.
struct SampleRecord {
    const char* format;
    const char* dataFile;
    std::size_t recordCount;  // records in the file
    std::size_t record;       // the record written out, counted from 1
    FieldCalls calls;
};

// A job and a temporary folder for its data files.
class JobFixture : public ::testing::Test {
protected:
    explicit JobFixture(const frame::Edition& edition);
    ~JobFixture() override;

    // Writes the bytes of a data file and returns its path as a caller writes it, with "\"
    // between directories, since "/" separates the arguments of the command line.
    std::string writeData(const std::string& name, const std::string& bytes);
    void runJob(const std::string& commandLine) { job_.run(commandLine); }
    // Runs the sample job of `sample` in `job`, "/<format> /<data file> /<portPart>", and
    // checks that it finishes having issued every record of the file with Issue(1, second),
    // each after as many SetField calls, the record written out after exactly its calls.
    void expectSampleJob(Job& job, const SampleRecord& sample, const std::string& portPart, std::int64_t second);

private:
    Job job_;

protected:
    Journal& journal = job_.journal;
    FakeControl& control = job_.control;
    ScriptedWindow& window = job_.window;
    frame::IssuingForm& form = job_.form;
    std::filesystem::path folder;
};

// One record of `fieldCount` comma-separated fields whose position n holds "<tag>n".
std::string taggedRecord(int fieldCount, const std::string& tag);

// The SetField calls made so far.
FieldCalls setFieldCalls(const FakeControl& control);
// The SetField calls made before each Issue, one list per Issue.
std::vector<FieldCalls> fieldCallsPerIssue(const FakeControl& control);

}  // namespace testing_support
