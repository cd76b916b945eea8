// SPDX-License-Identifier: MIT
#include "bcpctrl/append_file.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace bcpctrl {

std::optional<AppendFile> AppendFile::open(const std::filesystem::path& file) {
    if (file.has_parent_path()) {
        std::error_code ignored;  // a directory that cannot be made fails the open below
        std::filesystem::create_directories(file.parent_path(), ignored);
    }
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return std::nullopt;
    }
    return AppendFile(descriptor);
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

AppendFile::~AppendFile() { close(); }

void AppendFile::close() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

bool AppendFile::appendLine(std::string_view line) {
    std::string whole(line);
    whole += '\n';
    std::string_view remaining = whole;
    while (!remaining.empty()) {
        const ssize_t written = ::write(descriptor_, remaining.data(), remaining.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        remaining.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace bcpctrl
