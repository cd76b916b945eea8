// SPDX-License-Identifier: MIT
#include "bcpctrl/append_file.h"

#include <cerrno>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "access_refusal.h"
#include "shared_folders.h"

namespace bcpctrl {
namespace {

bool acceptedKind(const struct stat& info) { return S_ISREG(info.st_mode) || S_ISCHR(info.st_mode); }

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

// Opened without blocking, so that a FIFO with no reader answers at once; what is
// accepted is then written to with ordinary blocking writes.
std::optional<AppendFile> AppendFile::open(const std::filesystem::path& file) {
    if (!makeFolders(file.parent_path())) {
        return std::nullopt;
    }
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (descriptor < 0) {
        reportRefusedAccess("open", file, errno);
        return std::nullopt;
    }
    struct stat info {};
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (::fstat(descriptor, &info) != 0 || !acceptedKind(info) || flags < 0 ||
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(descriptor);
        return std::nullopt;
    }
    shareWithFolderGroup(descriptor, file);
    return AppendFile(descriptor, S_ISREG(info.st_mode), endsInsideLine(file, info));
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      isRegularFile_(other.isRegularFile_),
      endsInsideLine_(other.endsInsideLine_),
      broken_(other.broken_) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
        isRegularFile_ = other.isRegularFile_;
        endsInsideLine_ = other.endsInsideLine_;
        broken_ = other.broken_;
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
    if (broken_ || descriptor_ < 0) {
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
    if (writeAll(whole, written)) {
        endsInsideLine_ = false;
        return true;
    }
    takeBack(written);
    return false;
}

bool AppendFile::writeAll(std::string_view bytes, std::size_t& written) {
    while (written < bytes.size()) {
        const ssize_t result = ::write(descriptor_, bytes.data() + written, bytes.size() - written);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

// Appending leaves the offset at the end of what was written, so the line began
// `written` bytes before it; the cut is made only while nothing else follows.
void AppendFile::takeBack(std::size_t written) {
    if (written == 0) {
        return;
    }
    struct stat info {};
    const off_t end = isRegularFile_ ? ::lseek(descriptor_, 0, SEEK_CUR) : -1;
    const bool cutBack = end >= static_cast<off_t>(written) && ::fstat(descriptor_, &info) == 0 &&
                         info.st_size == end && ::ftruncate(descriptor_, end - static_cast<off_t>(written)) == 0;
    if (!cutBack) {
        broken_ = true;
    }
}

}  // namespace bcpctrl
