// SPDX-License-Identifier: MIT
// An operator who may not use a device or a folder learns it from one line on standard
// error, besides the result code: the path, what the system answered, and the owner, group
// and mode that refused it, so that they know which group to ask for (dialout for serial
// printers, bcpctrl for the spool folder).
#pragma once

#include <filesystem>
#include <string_view>

namespace bcpctrl::io {

// When `error` is a refusal (EACCES, EPERM, EROFS), writes to standard error, in one write:
// "bcpctrl: cannot <action> <path>: <reason> (<nearest existing path> is crw-rw---- root:dialout,
// and this user is not in group dialout)". Other errors say nothing.
void reportRefusedAccess(std::string_view action, const std::filesystem::path& path, int error);

}  // namespace bcpctrl::io
