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
