// SPDX-License-Identifier: MIT
#include "core/io/temporary_file.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/io/access_refusal.h"
#include "core/io/shared_folders.h"

namespace bcpctrl::io {
namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;

// The system checks that the name is free and renames in one step where the file system can
// (RENAME_NOREPLACE); where it cannot (NFS), the check comes just before the rename.
bool renameIfFree(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool holdsRegularFile(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool giveFinalName(const fs::path& temporary, const fs::path& final, Replacing replacing) {
    if (renameIfFree(temporary, final)) return true;
    return errno == EEXIST && replacing == Replacing::RegularFile && holdsRegularFile(final) &&
           std::rename(temporary.c_str(), final.c_str()) == 0;
}

}  // namespace

std::optional<TemporaryFile> TemporaryFile::createFor(const fs::path& finalPath) {
    const fs::path folder = finalPath.parent_path().empty() ? fs::path(".") : finalPath.parent_path();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path temporary = folder / ("." + finalPath.filename().string() + "." + std::to_string(::getpid()) +
                                             "-" + std::to_string(attempt) + ".tmp");
        UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (file) {
            shareWithFolderGroup(file.get(), temporary);  // the mode goes with it to its final name
            return TemporaryFile(std::move(file), temporary, finalPath);
        }
        if (errno != EEXIST) {
            reportRefusedAccess("write in", folder, errno);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

TemporaryFile::TemporaryFile(UniqueFd file, fs::path temporary, fs::path final)
    : file_(std::move(file)), temporary_(std::move(temporary)), final_(std::move(final)) {}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : file_(std::move(other.file_)), temporary_(std::move(other.temporary_)), final_(std::move(other.final_)) {
    other.temporary_.clear();
}

TemporaryFile::~TemporaryFile() { discard(); }

void TemporaryFile::discard() {
    file_.reset();
    if (!temporary_.empty()) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
        temporary_.clear();
    }
}

bool TemporaryFile::write(std::string_view bytes) {
    std::size_t written = 0;
    return file_ && writeAll(file_.get(), bytes, written);
}

bool TemporaryFile::commit(Replacing replacing) {
    const bool closed = file_ && file_.reset();
    if (!closed || !giveFinalName(temporary_, final_, replacing)) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool writeWholeFile(const fs::path& file, std::string_view bytes) {
    auto temporary = TemporaryFile::createFor(file);
    return temporary && temporary->write(bytes) && temporary->commit(Replacing::Nothing);
}

}  // namespace bcpctrl::io
