// SPDX-License-Identifier: MIT
#include "frame/field_reader.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

namespace frame {
namespace {

constexpr char kCtrlZ = '\x1A';
constexpr std::size_t kChunkBytes = 64 * 1024;

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using UniqueIconv = std::unique_ptr<void, IconvCloser>;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

struct FieldReader::Impl {
    Impl(int openFd, std::string openPath) : fd(openFd), path(std::move(openPath)) {}
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() { ::close(fd); }

    int fd;
    std::string path;
    struct stat opened {};  // the file as it was when the job opened it
    UniqueIconv cp932;
    std::string buffer;
    std::size_t pos = 0;
    bool sourceDone = false;  // end of file, Ctrl-Z, a read error or a changed file
    // 57, 75 or 34: the rest of the file is lost; every later read answers this number.
    int lostRest = 0;
    bool lostRestReported = false;

    void loseRest(int failure) {
        if (lostRest == 0) lostRest = failure;
        sourceDone = true;
    }

    // Whatever the path names now must still be the file that was opened, with the same
    // size and modification time. A path that was removed keeps the open file's word.
    // Checked once per chunk and at the end of the file, never per field.
    bool changedSinceOpen() const {
        struct stat now {};
        if (::stat(path.c_str(), &now) != 0 && ::fstat(fd, &now) != 0) return true;
        return now.st_dev != opened.st_dev || now.st_ino != opened.st_ino || now.st_size != opened.st_size ||
               now.st_mtim.tv_sec != opened.st_mtim.tv_sec || now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec;
    }

    // Reads one more chunk behind what is not yet consumed. False when nothing came.
    bool fill() {
        if (sourceDone) return false;
        buffer.erase(0, pos);
        pos = 0;
        char chunk[kChunkBytes];
        ssize_t got = 0;
        do {
            got = ::read(fd, chunk, sizeof chunk);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            loseRest(kReadDeviceError);
            return false;
        }
        // A chunk read after the file changed may hold the new content: it is never used.
        if (changedSinceOpen()) {
            loseRest(kReadFileChanged);
            return false;
        }
        if (got == 0) {
            sourceDone = true;
            return false;
        }
        appendChunk(std::string_view(chunk, static_cast<std::size_t>(got)));
        return true;
    }

    void appendChunk(std::string_view chunk) {
        const auto ctrlZ = chunk.find(kCtrlZ);
        if (ctrlZ != std::string_view::npos) {
            chunk = chunk.substr(0, ctrlZ);
            sourceDone = true;
        }
        const std::size_t start = buffer.size();
        buffer.append(chunk);
        buffer.erase(std::remove(buffer.begin() + static_cast<std::ptrdiff_t>(start), buffer.end(), '\0'),
                     buffer.end());
    }

    // The byte `ahead` places after the read position, or -1 at the end of the data.
    int peek(std::size_t ahead = 0) {
        while (pos + ahead >= buffer.size()) {
            if (!fill()) return -1;
        }
        return static_cast<unsigned char>(buffer[pos + ahead]);
    }

    void skipBlanks() {
        while (true) {
            const int c = peek();
            if (c != ' ' && c != '\t') return;
            ++pos;
        }
    }

    void consumeLineBreak() {
        const int c = peek();
        if (c == '\n') {
            ++pos;
        } else if (c == '\r') {
            ++pos;
            if (peek() == '\n') ++pos;
        }
    }

    // Moves bytes up to (not including) the first stop byte into `raw`. True if a stop byte was found.
    template <typename IsStop>
    bool takeUntil(std::string& raw, IsStop isStop) {
        while (peek() >= 0) {
            const auto begin = buffer.begin() + static_cast<std::ptrdiff_t>(pos);
            const auto stop = std::find_if(begin, buffer.end(), isStop);
            raw.append(begin, stop);
            pos = static_cast<std::size_t>(stop - buffer.begin());
            if (stop != buffer.end()) return true;
        }
        return false;
    }

    void readQuoted(std::string& raw) {
        ++pos;  // opening quote
        if (!takeUntil(raw, [](char c) { return c == '"'; })) {
            loseRest(kReadUnclosedQuote);  // everything after the quote went into this field
            return;
        }
        ++pos;
        skipBlanks();
        const int c = peek();
        if (c == ',') {
            ++pos;
        } else if (c == '\r' || c == '\n') {
            consumeLineBreak();
        }
    }

    void readUnquoted(std::string& raw) {
        takeUntil(raw, [](char c) { return c == ',' || isLineBreak(c); });
        if (peek() == ',') {
            ++pos;
        } else {
            consumeLineBreak();
        }
        raw.erase(raw.find_last_not_of(' ') + 1);
    }

    int decode(std::string_view raw, std::string& text) {
        if (isAscii(raw)) {
            text.assign(raw);
            return 0;
        }
        text.resize(raw.size() * 3);  // a CP932 byte never needs more than three UTF-8 bytes
        char* in = const_cast<char*>(raw.data());
        std::size_t inLeft = raw.size();
        char* out = text.data();
        std::size_t outLeft = text.size();
        auto* cd = static_cast<iconv_t>(cp932.get());
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            text.clear();
            return kReadInvalidText;
        }
        text.resize(text.size() - outLeft);
        return 0;
    }

    int readField(std::string& text) {
        text.clear();
        skipBlanks();
        const int first = peek();
        if (first >= 0) {
            std::string raw;
            if (first == '"') {
                readQuoted(raw);
            } else {
                readUnquoted(raw);
            }
            if (lostRest == 0) return decode(raw, text);
        }
        if (lostRest == 0) return kReadPastEnd;
        lostRestReported = true;
        return lostRest;
    }

    bool atEnd() {
        for (std::size_t ahead = 0;; ++ahead) {
            const int c = peek(ahead);
            if (c < 0) return lostRest == 0 || lostRestReported;
            if (!isBlank(static_cast<char>(c)) && !isLineBreak(static_cast<char>(c))) return false;
        }
    }
};

// Opened without blocking, so a FIFO without a writer is refused at once instead of
// holding the job before its port even opens.
std::optional<FieldReader> FieldReader::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    auto impl = std::make_unique<Impl>(fd, path);
    if (::fstat(fd, &impl->opened) != 0 || !S_ISREG(impl->opened.st_mode)) return std::nullopt;
    const iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    impl->cp932 = UniqueIconv(cd);
    return FieldReader(std::move(impl));
}

FieldReader::FieldReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FieldReader::FieldReader(FieldReader&&) noexcept = default;
FieldReader& FieldReader::operator=(FieldReader&&) noexcept = default;
FieldReader::~FieldReader() = default;

bool FieldReader::atEnd() { return impl_->atEnd(); }
int FieldReader::readField(std::string& text) { return impl_->readField(text); }

}  // namespace frame
