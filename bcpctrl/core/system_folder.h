// SPDX-License-Identifier: MIT
// The control's folders and files as the calling programs name them ("C:\BcpCtrl",
// "LABEL1", "..\formats\X"), found on this system through the callers' drive table.
#pragma once

#include <filesystem>
#include <string_view>

#include "core/environment.h"
#include "core/results.h"
#include "hostpaths/caller_paths.h"

namespace bcpctrl {

// The drive table BCPCTRL_DRIVES sets, the same one the programs use for their data files.
hostpaths::DriveTable driveTableOf(const EnvironmentLookup& environment);

// BCPCTRL_SYSTEM_DIR when set, otherwise the mapped SystemPath. UnusableSystemPath when
// neither names a directory (a missing directory is fine: its files are then missing).
Outcome<std::filesystem::path> resolveSystemDirectory(std::string_view systemPath,
                                                      const EnvironmentLookup& environment);

// The file LoadFormat reads for `formatName`. A name without a directory part lives in
// <system>/formats/, so only then does `systemDirectory` matter. Without an extension
// the name gets ".json".
Outcome<std::filesystem::path> resolveFormatFile(std::string_view formatName,
                                                 const Outcome<std::filesystem::path>& systemDirectory,
                                                 const hostpaths::DriveTable& drives);

}  // namespace bcpctrl
