// SPDX-License-Identifier: MIT
#include "core/io/unique_fd.h"

#include <cerrno>
#include <utility>

#include <sys/types.h>
#include <unistd.h>

namespace bcpctrl::io {

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool UniqueFd::reset() {
    if (fd_ < 0) return true;
    return ::close(std::exchange(fd_, -1)) == 0;
}

int UniqueFd::release() { return std::exchange(fd_, -1); }

bool writeAll(int fd, std::string_view bytes, std::size_t& written, std::optional<std::uint64_t> offset) {
    written = 0;
    while (written < bytes.size()) {
        const char* from = bytes.data() + written;
        const std::size_t left = bytes.size() - written;
        const ssize_t result = offset ? ::pwrite(fd, from, left, static_cast<off_t>(*offset + written))
                                      : ::write(fd, from, left);
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) return false;
        written += static_cast<std::size_t>(result);
    }
    return true;
}

}  // namespace bcpctrl::io
