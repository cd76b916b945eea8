// SPDX-License-Identifier: MIT
// A fake environment, so that no test depends on, or changes, the process environment; and
// scratch directories, so that every test runs on its own files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/environment.h"
#include "temp_dir.h"

namespace bcpctrl::testing {

using testing_support::TempDir;

inline EnvironmentLookup fakeEnvironment(std::map<std::string, std::string> variables) {
    return [variables = std::move(variables)](const std::string& name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional<std::string>(found->second);
    };
}

}  // namespace bcpctrl::testing
