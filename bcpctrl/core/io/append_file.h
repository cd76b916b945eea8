// SPDX-License-Identifier: MIT
// A file that only grows by whole lines. Each line goes to the system in one write with
// nothing held back in a buffer, so a killed program loses no line it reported written,
// and a line the system takes only in part is taken back, so no reader ever finds half a
// line with the next one glued to it.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "core/io/unique_fd.h"

namespace bcpctrl::io {

class AppendFile {
public:
    // Creates the file and its directories when missing. Only a regular file or a
    // character device (a printer, /dev/null) is accepted (see openOutput); anything
    // else gives nothing at once, without waiting for a FIFO's reader.
    static std::optional<AppendFile> open(const std::filesystem::path& file);

    AppendFile(AppendFile&& other) noexcept = default;
    AppendFile& operator=(AppendFile&& other) noexcept = default;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Appends `line` and a newline; false when the system did not take all of it. A
    // regular file is then cut back to where the line began. Where that cannot be done
    // (a device, or another writer appended meanwhile) the file is broken: every later
    // line is refused rather than begun in the middle of the broken one.
    bool appendLine(std::string_view line);

private:
    AppendFile(UniqueFd file, bool isRegularFile, bool endsInsideLine)
        : file_(std::move(file)), isRegularFile_(isRegularFile), endsInsideLine_(endsInsideLine) {}
    void takeBack(std::size_t written);

    UniqueFd file_;
    bool isRegularFile_ = false;
    // The file ended without a newline when it was opened (a writer was killed in the
    // middle of a line): the first line written starts with one.
    bool endsInsideLine_ = false;
    bool broken_ = false;
};

}  // namespace bcpctrl::io
