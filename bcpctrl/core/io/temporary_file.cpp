// SPDX-License-Identifier: MIT
#include "core/io/temporary_file.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace bcpctrl::io {
namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;

}  // namespace

std::optional<TemporaryFile> TemporaryFile::createFor(const fs::path& finalPath) {
    const fs::path folder = finalPath.parent_path().empty() ? fs::path(".") : finalPath.parent_path();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path temporary = folder / ("." + finalPath.filename().string() + "." + std::to_string(::getpid()) +
                                             "-" + std::to_string(attempt) + ".tmp");
        UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (file) return TemporaryFile(std::move(file), temporary, finalPath);
        if (errno != EEXIST) return std::nullopt;
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

bool TemporaryFile::commit() {
    const bool closed = file_ && file_.reset();
    if (!closed || std::rename(temporary_.c_str(), final_.c_str()) != 0) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool writeWholeFile(const fs::path& file, std::string_view bytes) {
    auto temporary = TemporaryFile::createFor(file);
    return temporary && temporary->write(bytes) && temporary->commit();
}

}  // namespace bcpctrl::io
