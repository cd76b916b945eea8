// SPDX-License-Identifier: MIT
// Every input is the PNG file of a format's image. The format loads, or its image is
// unreadable (1300); a file whose header asks for more pixels than the limits never loads;
// a format that loads draws a label of its size.
#include <sys/mman.h>
#include <unistd.h>

#include "labelformat/label_format.h"
#include "render/label_renderer.h"
#include "fuzz_check.h"

namespace {

constexpr std::uint64_t kLongestSidePixels = 16384;  // docs/bcpctrl.md, "Limits"
constexpr std::uint64_t kMostPixels = 16777216;

std::uint64_t bigEndianAt(const std::uint8_t* data, std::size_t at) {
    return std::uint64_t{data[at]} << 24 | std::uint64_t{data[at + 1]} << 16 | std::uint64_t{data[at + 2]} << 8 | data[at + 3];
}

// Whether the header says the picture is larger than a format may have.
bool headerAsksTooMuch(const std::uint8_t* data, std::size_t size) {
    if (size < 24) return false;
    const std::uint64_t width = bigEndianAt(data, 16);
    const std::uint64_t height = bigEndianAt(data, 20);
    return width > kLongestSidePixels || height > kLongestSidePixels || width * height > kMostPixels;
}

// The input as a file of its own, in memory.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("label-image", MFD_CLOEXEC)) {}
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::filesystem::path holding(const std::uint8_t* data, std::size_t size) {
        FUZZ_CHECK(::ftruncate(fd_, 0) == 0);
        FUZZ_CHECK(::pwrite(fd_, data, size, 0) == static_cast<ssize_t>(size));
        return "/proc/self/fd/" + std::to_string(fd_);
    }

private:
    int fd_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file;
    static const auto fonts = render::Fonts::loadWhenNeeded();
    auto format = labelformat::parseLabelFormat(R"({"usePrinter": 1, "label": {"widthMm": 30, "heightMm": 20},
        "fields": [], "static": [{"type": "image", "xMm": 2, "yMm": 2, "widthMm": 26, "heightMm": 16, "file": "x.png"}]})");
    FUZZ_CHECK(format.ok());
    format.value().statics.front().file = file.holding(data, size);
    auto renderer = render::LabelRenderer::create(format.value(), fonts);
    if (!renderer.ok()) {
        FUZZ_CHECK(renderer.error() == labelformat::ErrorNumber::FormatUnreadable);
        return 0;
    }
    FUZZ_CHECK(!headerAsksTooMuch(data, size));
    const auto content = renderer.value().content({});
    FUZZ_CHECK(content.ok());
    const render::Raster raster = renderer.value().paint(renderer.value().layOut(content.value(), 203));
    FUZZ_CHECK(raster.widthDots == render::mmToDots(30, 203) && raster.heightDots == render::mmToDots(20, 203));
    return 0;
}
