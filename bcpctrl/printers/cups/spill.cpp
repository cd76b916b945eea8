// SPDX-License-Identifier: MIT
#include "printers/cups/spill.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

namespace bcpctrl::printers::cups {
namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;

std::string temporaryDirectory() {
    const char* named = std::getenv("TMPDIR");
    return named != nullptr && *named != '\0' ? named : "/tmp";
}

// A file nobody else can open and that vanishes with its descriptor: O_TMPFILE where the
// file system has it, otherwise a fresh name unlinked at once.
io::UniqueFd openUnlinkedFile() {
    const std::string directory = temporaryDirectory();
#ifdef O_TMPFILE
    if (io::UniqueFd file(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR)); file) {
        return file;
    }
#endif
    std::string name = directory + "/bcpctrl-labels-XXXXXX";
    io::UniqueFd file(::mkostemp(name.data(), O_CLOEXEC));
    if (file) ::unlink(name.c_str());
    return file;
}

// Every read stops at the size held, so a tail the file keeps is never sent: cutting it
// only gives the disk space back, and a failure to cut it changes nothing.
void cutFile(const io::UniqueFd& file, std::size_t sizeBytes) {
    [[maybe_unused]] const int ignored = ::ftruncate(file.get(), static_cast<off_t>(sizeBytes));
}

}  // namespace

bool SpillingBytes::append(std::string_view bytes) {
    if (!file_ && memory_.size() + bytes.size() <= memoryLimitBytes_) {
        memory_.append(bytes);
        sizeBytes_ += bytes.size();
        return true;
    }
    if (!file_ && !moveToFile()) return false;
    if (!writeToFile(bytes, sizeBytes_)) {
        cutFile(file_, sizeBytes_);
        return false;
    }
    sizeBytes_ += bytes.size();
    return true;
}

bool SpillingBytes::moveToFile() {
    io::UniqueFd file = openUnlinkedFile();
    if (!file) return false;
    std::swap(file_, file);
    if (!writeToFile(memory_, 0)) {
        file_.reset();  // the bytes stay in memory
        return false;
    }
    std::string().swap(memory_);  // gives the memory back
    return true;
}

bool SpillingBytes::writeToFile(std::string_view bytes, std::size_t offset) {
    std::size_t written = 0;
    return io::writeAll(file_.get(), bytes, written, offset);
}

void SpillingBytes::truncate(std::size_t sizeBytes) {
    sizeBytes = std::min(sizeBytes, sizeBytes_);
    if (file_) {
        cutFile(file_, sizeBytes);
    } else {
        memory_.resize(sizeBytes);
    }
    sizeBytes_ = sizeBytes;
}

bool SpillingBytes::read(std::size_t start, std::size_t end, const std::function<bool(std::string_view)>& take) const {
    end = std::min(end, sizeBytes_);
    if (!file_) {
        for (std::size_t offset = start; offset < end; offset += kPieceBytes) {
            if (!take(std::string_view(memory_).substr(offset, std::min(kPieceBytes, end - offset)))) return false;
        }
        return true;
    }
    std::vector<char> piece(kPieceBytes);
    for (std::size_t offset = start; offset < end;) {
        const ssize_t got = ::pread(file_.get(), piece.data(), std::min(kPieceBytes, end - offset), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        if (!take(std::string_view(piece.data(), static_cast<std::size_t>(got)))) return false;
        offset += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace bcpctrl::printers::cups
