// SPDX-License-Identifier: MIT
// A job's hold on a file that it replaces when it ends, so that a second job on the same
// file is refused while the first holds it, instead of replacing the first job's labels
// with its own. The hold is an flock on a lock file beside the file (".labels.pdf.lock"),
// made when the hold is taken and removed when it is let go; a lock file left by a killed
// job holds nothing and is taken over.
#pragma once

#include <filesystem>
#include <optional>
#include <utility>

#include "core/io/unique_fd.h"

namespace bcpctrl::io {

class FileClaim {
public:
    // Nothing when another job holds `file`, or its folder cannot take the lock file.
    static std::optional<FileClaim> take(const std::filesystem::path& file);

    FileClaim(FileClaim&&) noexcept = default;
    FileClaim& operator=(FileClaim&&) = delete;
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;
    ~FileClaim();  // removes the lock file, then lets go

private:
    FileClaim(UniqueFd lock, std::filesystem::path lockFile) : lock_(std::move(lock)), lockFile_(std::move(lockFile)) {}

    UniqueFd lock_;
    std::filesystem::path lockFile_;
};

}  // namespace bcpctrl::io
