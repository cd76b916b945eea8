// SPDX-License-Identifier: MIT
#include "core/io/shared_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/io/access_refusal.h"

namespace bcpctrl::io {
namespace {

namespace fs = std::filesystem;

bool isSharedFolder(const fs::path& folder) {
    struct stat info {};
    return ::stat(folder.empty() ? "." : folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           (info.st_mode & S_ISGID) != 0;
}

bool isFolder(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int makeFolder(const fs::path& folder) {
    if (::mkdir(folder.c_str(), 0777) != 0) return errno;
    // The new folder took the shared folder's group and setgid bit; the umask may have
    // taken the group's write access.
    struct stat info {};
    if (isSharedFolder(folder.parent_path()) && ::stat(folder.c_str(), &info) == 0) {
        ::chmod(folder.c_str(), (info.st_mode & 07777) | S_IRWXG);
    }
    return 0;
}

bool makeFolders(const fs::path& folder) {
    if (folder.empty() || isFolder(folder)) return true;
    if (folder.has_relative_path() && !makeFolders(folder.parent_path())) return false;
    const int error = makeFolder(folder);
    if (error == 0 || (error == EEXIST && isFolder(folder))) return true;
    reportRefusedAccess("make", folder, error);
    return false;
}

void shareWithFolderGroup(int descriptor, const fs::path& file) {
    struct stat info {};
    const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & groupReadWrite) == groupReadWrite || !isSharedFolder(file.parent_path())) {
        return;
    }
    ::fchmod(descriptor, (info.st_mode & 07777) | groupReadWrite);
}

}  // namespace bcpctrl::io
