// SPDX-License-Identifier: MIT
// Where the control writes what is not configuration: the files and folders the printer
// list names by relative paths, and a call log named by a relative path. The installed
// control folder (/etc/BcpCtrl, reached through C:\BcpCtrl) holds configuration only, so
// what it names relatively goes to the spool folder the package makes for it.
#pragma once

#include <filesystem>

#include "core/environment.h"

namespace bcpctrl {

// BCPCTRL_OUTPUT_DIR when set; otherwise the folder BCPCTRL_SYSTEM_DIR names (a folder of
// one's own, as the samples and the tests use, keeps its outputs beside its printer list);
// otherwise the spool folder, /var/spool/bcpctrl.
std::filesystem::path outputFolder(const EnvironmentLookup& environment);

}  // namespace bcpctrl
