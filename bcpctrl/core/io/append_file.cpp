// SPDX-License-Identifier: MIT
#include "core/io/append_file.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/io/output_file.h"
#include "core/io/shared_folders.h"

namespace bcpctrl::io {
namespace {

// Whether the last byte of the regular file `opened` is something other than a newline.
// Read through a second descriptor, since the appending one is write-only; a file that
// cannot be read is taken to end cleanly.
bool endsInsideLine(const std::filesystem::path& file, const struct stat& opened) {
    if (!S_ISREG(opened.st_mode) || opened.st_size == 0) return false;
    const int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader < 0) return false;
    struct stat info {};
    char last = '\n';
    const bool sameFile = ::fstat(reader, &info) == 0 && info.st_dev == opened.st_dev && info.st_ino == opened.st_ino;
    if (sameFile && ::pread(reader, &last, 1, opened.st_size - 1) != 1) last = '\n';
    ::close(reader);
    return last != '\n';
}

}  // namespace

std::optional<AppendFile> AppendFile::open(const std::filesystem::path& file) {
    if (!makeFolders(file.parent_path())) {
        return std::nullopt;
    }
    UniqueFd descriptor = openOutput(file, true);
    struct stat info {};
    if (!descriptor || ::fstat(descriptor.get(), &info) != 0) {
        return std::nullopt;
    }
    const bool isRegular = S_ISREG(info.st_mode);
    return AppendFile(std::move(descriptor), isRegular, endsInsideLine(file, info));
}

bool AppendFile::appendLine(std::string_view line) {
    if (broken_ || !file_) {
        return false;
    }
    std::string whole;
    whole.reserve(line.size() + 2);
    if (endsInsideLine_) {
        whole += '\n';
    }
    whole.append(line);
    whole += '\n';
    std::size_t written = 0;
    if (writeAll(file_.get(), whole, written)) {
        endsInsideLine_ = false;
        return true;
    }
    takeBack(written);
    return false;
}

// Appending leaves the offset at the end of what was written, so the line began
// `written` bytes before it; the cut is made only while nothing else follows.
void AppendFile::takeBack(std::size_t written) {
    if (written == 0) {
        return;
    }
    struct stat info {};
    const off_t end = isRegularFile_ ? ::lseek(file_.get(), 0, SEEK_CUR) : -1;
    const bool cutBack = end >= static_cast<off_t>(written) && ::fstat(file_.get(), &info) == 0 &&
                         info.st_size == end && ::ftruncate(file_.get(), end - static_cast<off_t>(written)) == 0;
    if (!cutBack) {
        broken_ = true;
    }
}

}  // namespace bcpctrl::io
