// SPDX-License-Identifier: MIT
#include "core/io/output_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

#include "core/io/access_refusal.h"
#include "core/io/shared_folders.h"

namespace bcpctrl::io {
namespace {

OutputKind kindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return OutputKind::RegularFile;
    if (S_ISCHR(info.st_mode)) return OutputKind::CharacterDevice;
    return OutputKind::Refused;
}

}  // namespace

OutputKind outputKindOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return kindOf(info);
    // A symbolic link to nothing would have the file made wherever it points, or be replaced.
    struct stat link {};
    return errno == ENOENT && ::lstat(path.c_str(), &link) != 0 && errno == ENOENT ? OutputKind::Missing
                                                                                     : OutputKind::Refused;
}

// Opened without blocking, so that a FIFO put in the way after the look answers at once;
// what is accepted then blocks on its writes again.
UniqueFd openOutput(const std::filesystem::path& path, bool append) {
    if (outputKindOf(path) == OutputKind::Refused) return {};
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (append ? O_APPEND : 0);
    UniqueFd descriptor(::open(path.c_str(), flags, 0644));
    if (!descriptor) {
        reportRefusedAccess("open", path, errno);
        return {};
    }
    struct stat info {};
    if (!descriptor || ::fstat(descriptor.get(), &info) != 0 || kindOf(info) == OutputKind::Refused) return {};
    const int openFlags = ::fcntl(descriptor.get(), F_GETFL);
    if (openFlags < 0 || ::fcntl(descriptor.get(), F_SETFL, openFlags & ~O_NONBLOCK) != 0) return {};
    shareWithFolderGroup(descriptor.get(), path);
    return descriptor;
}

}  // namespace bcpctrl::io
