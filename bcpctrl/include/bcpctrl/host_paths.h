// SPDX-License-Identifier: MIT
// The calling programs name files the way their original platform did ("C:\BcpCtrl",
// "LABEL1", "..\formats\X"); these functions turn such names into paths on this system.
#pragma once

#include <filesystem>
#include <string_view>

#include "bcpctrl/environment.h"
#include "bcpctrl/outcome.h"

namespace bcpctrl {

// "X:\a\b" becomes "/opt/a/b"; a name without a drive letter keeps its place with every
// backslash turned into a slash. Empty, control characters or a drive-relative "X:a"
// have no mapping.
std::optional<std::filesystem::path> mapHostPath(std::string_view hostPath);

// BCPCTRL_SYSTEM_DIR when set, otherwise the mapped SystemPath. UnusableSystemPath when
// neither names a directory (a missing directory is fine: its files are then missing).
Outcome<std::filesystem::path> resolveSystemDirectory(std::string_view systemPath,
                                                      const EnvironmentLookup& environment);

// The file LoadFormat reads for `formatName`. A name without a directory part lives in
// <system>/formats/, so only then does `systemDirectory` matter. Without an extension
// the name gets ".json".
Outcome<std::filesystem::path> resolveFormatFile(
    std::string_view formatName, const Outcome<std::filesystem::path>& systemDirectory);

}  // namespace bcpctrl
