// SPDX-License-Identifier: MIT
// A file written under a temporary name in its own folder and renamed when whole, so a
// killed job never leaves half a file under a real name, and nothing is ever written
// through a FIFO or a symbolic link. The rename replaces at most a regular file: never a
// device, a FIFO, a socket, a directory or a symbolic link that stands at the final name.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "core/io/unique_fd.h"

namespace bcpctrl::io {

// What the final name may hold already.
enum class Replacing {
    Nothing,      // it must be free (a new picture of a job)
    RegularFile,  // a regular file there is replaced (a job's PDF replaces the one before)
};

class TemporaryFile {
public:
    // Nothing when the folder cannot take a new file.
    static std::optional<TemporaryFile> createFor(const std::filesystem::path& finalPath);

    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();  // removes the file unless it was committed

    bool write(std::string_view bytes);  // false unless the system took all of it
    // Closes the file and gives it its final name; false (and the file removed) when it
    // cannot be closed, or the name holds what may not be replaced.
    bool commit(Replacing replacing);

private:
    TemporaryFile(UniqueFd file, std::filesystem::path temporary, std::filesystem::path final);
    void discard();

    UniqueFd file_;
    std::filesystem::path temporary_;
    std::filesystem::path final_;
};

// `bytes` as the whole of `file`, a new file, through a temporary file.
bool writeWholeFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace bcpctrl::io
