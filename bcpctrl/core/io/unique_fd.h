// SPDX-License-Identifier: MIT
// A file descriptor that closes itself, and the one loop that writes all of a buffer to one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace bcpctrl::io {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept;
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes the descriptor; true unless close() reported a failure (a write the file system
    // could not complete shows there).
    bool reset();
    int release();

private:
    int fd_ = -1;
};

// Writes all of `bytes` to a blocking descriptor, at `offset` when given (pwrite),
// otherwise where the descriptor stands. An interrupted call is made again. False when the
// system takes no more; `written` then says how much it took.
bool writeAll(int fd, std::string_view bytes, std::size_t& written, std::optional<std::uint64_t> offset = std::nullopt);

}  // namespace bcpctrl::io
