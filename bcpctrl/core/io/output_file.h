// SPDX-License-Identifier: MIT
// What the control writes to: a regular file or a character device (a printer, /dev/null).
// A directory, a FIFO, a socket or a block device is never opened for writing, so that no
// write waits for a FIFO's reader and nothing is written into a disk or replaced.
#pragma once

#include <filesystem>

#include "core/io/unique_fd.h"

namespace bcpctrl::io {

enum class OutputKind {
    Missing,          // nothing is there yet
    RegularFile,
    CharacterDevice,
    Refused,          // a directory, FIFO, socket, block device, a symbolic link to nothing, or unreachable
};

// What `path` names, through symbolic links.
OutputKind outputKindOf(const std::filesystem::path& path);

// Opens `path` for writing at its start, or appending: a regular file, made when missing,
// or a character device, which never becomes the program's controlling terminal. Nothing
// (at once) for any other kind. Writes to what it gives wait as usual.
UniqueFd openOutput(const std::filesystem::path& path, bool append);

}  // namespace bcpctrl::io
