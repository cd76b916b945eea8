// SPDX-License-Identifier: MIT
// Bytes that stay in memory while they are few and move to an unlinked temporary file once
// they pass a limit, so that labels held for a stopped queue cost disk space, not memory,
// however long the job.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "core/io/unique_fd.h"

namespace bcpctrl::printers::cups {

// What a batch keeps in memory before its documents go to a file.
inline constexpr std::size_t kHeldInMemoryBytes = std::size_t{4} * 1024 * 1024;

class SpillingBytes {
public:
    explicit SpillingBytes(std::size_t memoryLimitBytes) : memoryLimitBytes_(memoryLimitBytes) {}

    // False when the temporary file cannot take them (a full disk); nothing is added then.
    bool append(std::string_view bytes);
    // Cuts the bytes back to `sizeBytes` (no more than size()).
    void truncate(std::size_t sizeBytes);
    std::size_t size() const { return sizeBytes_; }

    // Hands the bytes from `start` to `end` to `take` piece by piece; false when the file
    // cannot be read or `take` answers false.
    bool read(std::size_t start, std::size_t end, const std::function<bool(std::string_view)>& take) const;

private:
    bool moveToFile();
    bool writeToFile(std::string_view bytes, std::size_t offset);

    std::size_t memoryLimitBytes_;
    std::size_t sizeBytes_ = 0;
    std::string memory_;
    io::UniqueFd file_;
};

}  // namespace bcpctrl::printers::cups
