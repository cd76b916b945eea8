// SPDX-License-Identifier: MIT
// Every input is a data file, read field by field as the issue loop reads it. Each read
// answers 0 with valid UTF-8 or a known failure with no text; a failure that loses the
// rest of the file is reported once before the end; and the reading always ends.
// Crashes found here are kept as rows of tests/frame/field_reader_test.cpp.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "frame/field_reader.h"
#include "frame/text.h"
#include "fuzz_check.h"

namespace {

// One file in memory for the whole run, reached through its /proc path as a data file.
int dataFile() {
    static const int fd = ::memfd_create("data-file", 0);
    return fd;
}

bool validUtf8(const std::string& text) {
    const std::u32string decoded = frame::fromUtf8(text);
    // Bytes that are not UTF-8 come back as U+DC80 to U+DCFF, which valid text never holds.
    return std::none_of(decoded.begin(), decoded.end(), [](char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; });
}

bool losesTheRest(int failure) {
    return failure == frame::kReadDeviceError || failure == frame::kReadUnclosedQuote ||
           failure == frame::kReadFileChanged;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = dataFile();
    FUZZ_CHECK(fd >= 0 && ::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    auto reader = frame::FieldReader::open("/proc/self/fd/" + std::to_string(fd));
    FUZZ_CHECK(reader.has_value());
    std::string text;
    std::size_t reads = 0;
    while (!reader->atEnd()) {
        FUZZ_CHECK(++reads <= size + 1);  // every field takes at least one byte, but the last
        text = "stale";
        const int failure = reader->readField(text);
        if (failure == 0) {
            FUZZ_CHECK(validUtf8(text));
            continue;
        }
        FUZZ_CHECK(text.empty());
        FUZZ_CHECK(failure == frame::kReadInvalidText || failure == frame::kReadPastEnd || losesTheRest(failure));
        FUZZ_CHECK(failure != frame::kReadFileChanged && failure != frame::kReadDeviceError);  // nothing changes here
        if (losesTheRest(failure)) {
            FUZZ_CHECK(reader->readField(text) == failure);
            FUZZ_CHECK(reader->atEnd());
        }
    }
    // Past the end only blanks and line breaks are left: empty fields, then the end.
    int failure = 0;
    for (std::size_t extra = 0; failure == 0 && extra <= size + 1; ++extra) {
        failure = reader->readField(text);
        FUZZ_CHECK(text.empty());
    }
    FUZZ_CHECK(failure == frame::kReadPastEnd || losesTheRest(failure));
    return 0;
}
