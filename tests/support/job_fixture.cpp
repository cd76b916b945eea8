// SPDX-License-Identifier: MIT
#include "job_fixture.h"

#include <algorithm>
#include <fstream>

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

std::vector<std::pair<std::int64_t, std::string>> setFieldCalls(const FakeControl& control) {
    std::vector<std::pair<std::int64_t, std::string>> calls;
    for (const auto& call : control.callsOf(frame::DispId::SetField)) {
        calls.emplace_back(std::get<std::int64_t>(call.args.at(0)), std::get<std::string>(call.args.at(1)));
    }
    return calls;
}

std::vector<std::pair<std::int64_t, std::string>> expectedCalls(const std::vector<std::pair<int, int>>& table,
                                                                const std::string& tag) {
    std::vector<std::pair<std::int64_t, std::string>> calls;
    for (const auto& [label, position] : table) calls.emplace_back(label, tag + std::to_string(position));
    return calls;
}

}  // namespace testing_support
