// SPDX-License-Identifier: MIT
#include "core/io/access_refusal.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace bcpctrl::io {
namespace {

namespace fs = std::filesystem;

bool isRefusal(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// The path itself when it exists, otherwise the folder above it that does: the one whose
// permissions refused the new file or folder.
fs::path nearestExisting(fs::path path) {
    struct stat info {};
    while (!path.empty() && ::lstat(path.c_str(), &info) != 0) {
        if (!path.has_relative_path()) break;
        path = path.parent_path();
    }
    return path;
}

std::string modeText(mode_t mode) {
    std::string text = S_ISDIR(mode) ? "d" : S_ISCHR(mode) ? "c" : S_ISBLK(mode) ? "b" : S_ISLNK(mode) ? "l" : "-";
    const char* const letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) text += (mode & (0400u >> bit)) != 0 ? letters[bit] : '-';
    if ((mode & S_ISGID) != 0) text[6] = (mode & S_IXGRP) != 0 ? 's' : 'S';
    return text;
}

std::string userName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

bool inGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int listed = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(listed, 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// "/var/spool/bcpctrl is drwxrwsr-x root:bcpctrl, and this user is not in group bcpctrl"
std::string ownership(const fs::path& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return {};
    std::string text = path.string() + " is " + modeText(info.st_mode) + " " + userName(info.st_uid) + ":" +
                       groupName(info.st_gid);
    if (!inGroup(info.st_gid)) text += ", and this user is not in group " + groupName(info.st_gid);
    return " (" + text + ")";
}

}  // namespace

void reportRefusedAccess(std::string_view action, const fs::path& path, int error) {
    if (!isRefusal(error)) return;
    const std::string line = "bcpctrl: cannot " + std::string(action) + " " + path.string() + ": " +
                             std::strerror(error) + ownership(nearestExisting(path)) + "\n";
    // One write, so that the line never mixes with the program's own lines.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace bcpctrl::io
