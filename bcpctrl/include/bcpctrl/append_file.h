// SPDX-License-Identifier: MIT
// A file that only grows by whole lines. Each line goes to the system in one write with
// nothing held back in a buffer, so a killed program loses no line it reported written.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace bcpctrl {

class AppendFile {
public:
    // Creates the file and its directories when missing; nothing when it cannot be opened
    // for writing.
    static std::optional<AppendFile> open(const std::filesystem::path& file);

    AppendFile(AppendFile&& other) noexcept;
    AppendFile& operator=(AppendFile&& other) noexcept;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile();

    // Appends `line` and a newline; false when the system did not take all of it.
    bool appendLine(std::string_view line);

private:
    explicit AppendFile(int descriptor) : descriptor_(descriptor) {}
    void close();

    int descriptor_ = -1;
};

}  // namespace bcpctrl
