// SPDX-License-Identifier: MIT
// One job with a fake control, a scripted window and a data file in a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fake_control.h"
#include "frame/issuing_form.h"
#include "scripted_window.h"

namespace testing_support {

class JobFixture : public ::testing::Test {
protected:
    explicit JobFixture(const frame::Edition& edition)
        : control(journal), window(journal), form(edition, window, control) {
        window.clickStop = [this] { form.cmdStop_Click(); };
        folder = std::filesystem::temp_directory_path() /
                 ("frame-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter()));
        std::filesystem::create_directories(folder);
    }
    ~JobFixture() override { std::filesystem::remove_all(folder); }

    // Writes the bytes of a data file and returns its path as a caller writes it, with "\"
    // between directories, since "/" separates the arguments of the command line.
    std::string writeData(const std::string& name, const std::string& bytes);
    // Loads "/LABEL1 /<data> /<portKind> /<driver>" and runs the job.
    void runJob(const std::string& commandLine);

    Journal journal;
    FakeControl control;
    ScriptedWindow window;
    frame::IssuingForm form;
    std::filesystem::path folder;

private:
    static int& counter() {
        static int value = 0;
        return value;
    }
};

}  // namespace testing_support

namespace testing_support {

// One record of `fieldCount` comma-separated fields whose position n holds "<tag>n".
std::string taggedRecord(int fieldCount, const std::string& tag);

// The SetField calls made so far, as (label field, text).
std::vector<std::pair<std::int64_t, std::string>> setFieldCalls(const FakeControl& control);

// The calls a table makes for a record made by taggedRecord.
std::vector<std::pair<std::int64_t, std::string>> expectedCalls(
    const std::vector<std::pair<int, int>>& table, const std::string& tag);

}  // namespace testing_support
