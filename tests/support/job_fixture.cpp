// SPDX-License-Identifier: MIT
#include "job_fixture.h"

#include <algorithm>
#include <fstream>

namespace testing_support {

std::string JobFixture::writeData(const std::string& name, const std::string& bytes) {
    const auto path = folder / name;
    std::ofstream(path, std::ios::binary) << bytes;
    std::string callerPath = path.string();
    std::replace(callerPath.begin(), callerPath.end(), '/', '\\');
    return callerPath;
}

void JobFixture::runJob(const std::string& commandLine) {
    ASSERT_TRUE(form.Form_Load(commandLine));
    form.Form_Activate();
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
