// SPDX-License-Identifier: MIT
// One ordered log of what the control and the window saw, so a test can check the order
// of calls, status texts, yields and message boxes together.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

using Journal = std::vector<std::string>;

}  // namespace testing_support
