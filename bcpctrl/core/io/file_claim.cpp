// SPDX-License-Identifier: MIT
#include "core/io/file_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bcpctrl::io {
namespace {

// A job that ends removes its lock file: one that was opened just before may be locked
// only after it is gone, and is then no claim. A few more tries find the new one.
constexpr int kLockAttempts = 10;

bool isSameFile(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Whether `lockFile` still names the file open as `lock`.
bool stillNamed(const std::filesystem::path& lockFile, int lock) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(lock, &opened) == 0 && ::lstat(lockFile.c_str(), &named) == 0 && isSameFile(opened, named);
}

}  // namespace

std::optional<FileClaim> FileClaim::take(const std::filesystem::path& file) {
    const std::filesystem::path lockFile = file.parent_path() / ("." + file.filename().string() + ".lock");
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        // Read-only: the lock file is never written, so an existing one loses nothing.
        UniqueFd lock(::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
        struct stat info {};
        if (!lock || ::fstat(lock.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
        if (stillNamed(lockFile, lock.get())) return FileClaim(std::move(lock), lockFile);
    }
    return std::nullopt;
}

FileClaim::~FileClaim() {
    if (lock_ && stillNamed(lockFile_, lock_.get())) ::unlink(lockFile_.c_str());
}

}  // namespace bcpctrl::io
