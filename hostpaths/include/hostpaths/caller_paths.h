// SPDX-License-Identifier: MIT
// The calling programs name files the way their original platform did: "C:\DATA\NYUKA.DAT",
// "\\server\labels\LABEL1", "DATA\NYUKA.DAT". One mapping turns such a name into a path
// here, for the programs' data files and the control's folders and files alike.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace hostpaths {

// Where each drive letter and each network share of the callers lives on this system.
class DriveTable {
public:
    // Every drive letter under /opt ("X:\a" is "/opt/a"); no share.
    static DriveTable standard();
    // "C=/srv/c;D=/mnt/labels;\\server\share=/mnt/share": letters in either case, shares as
    // \\server\share (or //server/share), each to an absolute directory; empty entries are
    // skipped. Nothing when the text is malformed.
    static std::optional<DriveTable> parse(std::string_view text);
    // The table BCPCTRL_DRIVES gives: the standard one when it is unset or empty, the parsed
    // one otherwise, and a table that maps no drive at all when it is malformed, so that a
    // mistyped table never sends a job to the wrong files.
    static DriveTable fromVariable(const std::optional<std::string>& value);

    std::optional<std::filesystem::path> drive(char letter) const;
    std::optional<std::filesystem::path> share(std::string_view server, std::string_view shareName) const;

private:
    std::map<char, std::filesystem::path> drives_;         // by upper-case letter
    std::map<std::string, std::filesystem::path> shares_;  // by "server\share", upper case
};

inline constexpr const char* kDrivesVariable = "BCPCTRL_DRIVES";

// Backslashes separate directories. "X:\a\b" is a's path below the drive's directory,
// "\\server\share\a" below the share's; other names keep their place ("DATA\X" stays
// relative, "\tmp\x" is "/tmp/x"). Nothing for an empty name, a control character, a
// drive-relative "X:name", or a drive or share that the table does not map.
std::optional<std::filesystem::path> mapCallerPath(std::string_view callerPath, const DriveTable& drives);

// True unless the name is empty, has a control character, is drive-relative or names a
// share without its server or share part, whatever a table maps.
bool isWellFormed(std::string_view callerPath);

}  // namespace hostpaths
