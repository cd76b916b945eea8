// SPDX-License-Identifier: MIT
// Where the control reads its BCPCTRL_* variables. Tests hand in their own lookup so
// they never depend on, or change, the process environment.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace bcpctrl {

using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

EnvironmentLookup processEnvironment();

// An unset and an empty variable both count as not given.
std::optional<std::string> nonEmptyVariable(const EnvironmentLookup& environment,
                                            const std::string& name);

inline constexpr const char* kSystemDirVariable = "BCPCTRL_SYSTEM_DIR";
inline constexpr const char* kOutputDirVariable = "BCPCTRL_OUTPUT_DIR";
inline constexpr const char* kTraceVariable = "BCPCTRL_TRACE";

}  // namespace bcpctrl
