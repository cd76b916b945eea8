// SPDX-License-Identifier: MIT
#include "raster_surface.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace render {
namespace {

constexpr std::array<std::uint8_t, 256> kReversedBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        unsigned reversed = 0;
        for (unsigned bit = 0; bit < 8; ++bit) reversed |= ((value >> bit) & 1u) << (7 - bit);
        table[value] = static_cast<std::uint8_t>(reversed);
    }
    return table;
}();

// Cairo packs 1-bit pixels into 32-bit words in the machine's byte order.
constexpr bool kLowBitIsLeftmost = std::endian::native == std::endian::little;

std::uint8_t fromCairo(std::uint8_t byte) { return kLowBitIsLeftmost ? kReversedBits[byte] : byte; }

std::size_t index(int value) { return static_cast<std::size_t>(value); }

}  // namespace

Raster whiteRaster(int widthDots, int heightDots, int dotsPerInch) {
    Raster raster;
    raster.widthDots = widthDots;
    raster.heightDots = heightDots;
    raster.dotsPerInch = dotsPerInch;
    raster.strideBytes = (index(widthDots) + 7) / 8;
    raster.bits.assign(raster.strideBytes * index(heightDots), 0);
    return raster;
}

SurfaceHandle newCoverageSurface(int widthDots, int heightDots) {
    return checked(SurfaceHandle(cairo_image_surface_create(CAIRO_FORMAT_A8, (widthDots + 7) / 8 * 8, heightDots)));
}

namespace {

// The area widened to whole raster bytes and kept on the surface.
DotRect byteAligned(cairo_surface_t* surface, const DotRect& area) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int left = std::clamp(area.xDots, 0, width) / 8 * 8;
    const int right = std::clamp((area.rightDots() + 7) / 8 * 8, 0, width);
    const int top = std::clamp(area.yDots, 0, height);
    const int bottom = std::clamp(area.bottomDots(), 0, height);
    return {left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

// The high bit of each of eight coverage bytes, the first byte's in the lowest bit.
std::uint8_t highBits(std::uint64_t eight) {
    return static_cast<std::uint8_t>(((eight & 0x8080808080808080ULL) * 0x0002040810204081ULL) >> 56);
}

}  // namespace

void clearCoverage(cairo_surface_t* surface, const DotRect& area) {
    const DotRect aligned = byteAligned(surface, area);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const auto stride = index(cairo_image_surface_get_stride(surface));
    for (int y = aligned.yDots; y < aligned.bottomDots(); ++y) {
        std::memset(data + index(y) * stride + index(aligned.xDots), 0, index(aligned.widthDots));
    }
    cairo_surface_mark_dirty(surface);
}

void addCoverage(cairo_surface_t* surface, const DotRect& area, Raster& raster) {
    static_assert(std::endian::native == std::endian::little, "eight coverage bytes are read as one word");
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    cairo_surface_flush(surface);
    const DotRect aligned = byteAligned(surface, {area.xDots, area.yDots, area.widthDots,
                                                  std::min(area.heightDots, raster.heightDots - area.yDots)});
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const auto stride = index(cairo_image_surface_get_stride(surface));
    const std::size_t firstByte = index(aligned.xDots / 8);
    const std::size_t endByte = std::min(index(aligned.rightDots() / 8), raster.strideBytes);
    // Dots past the label's right edge stay white, whatever was painted beyond it.
    const auto keepInLastByte = static_cast<std::uint8_t>(0xFFu << ((8 - raster.widthDots % 8) % 8));
    for (int y = aligned.yDots; y < aligned.bottomDots(); ++y) {
        const unsigned char* from = data + index(y) * stride;
        std::uint8_t* to = raster.bits.data() + index(y) * raster.strideBytes;
        for (std::size_t byte = firstByte; byte < endByte; ++byte) {
            std::uint64_t eight = 0;
            std::memcpy(&eight, from + byte * 8, sizeof eight);
            if ((eight & kHighBits) != 0) to[byte] |= kReversedBits[highBits(eight)];  // most of a label is white
        }
        if (endByte == raster.strideBytes && endByte > firstByte) to[endByte - 1] &= keepInLastByte;
    }
}

SurfaceHandle a1FromRaster(const Raster& raster) {
    SurfaceHandle surface = checked(SurfaceHandle(cairo_image_surface_create(CAIRO_FORMAT_A1, raster.widthDots, raster.heightDots)));
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const auto stride = index(cairo_image_surface_get_stride(surface.get()));
    for (std::size_t row = 0; row < index(raster.heightDots); ++row) {
        const std::uint8_t* from = raster.bits.data() + row * raster.strideBytes;
        for (std::size_t byte = 0; byte < raster.strideBytes; ++byte) data[row * stride + byte] = fromCairo(from[byte]);
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

Raster scaledRaster(const Raster& source, int widthDots, int heightDots) {
    Raster scaled = whiteRaster(widthDots, heightDots, 0);
    for (int y = 0; y < heightDots; ++y) {
        const int sourceY = static_cast<int>(static_cast<long>(y) * source.heightDots / heightDots);
        for (int x = 0; x < widthDots; ++x) {
            if (source.isBlack(static_cast<int>(static_cast<long>(x) * source.widthDots / widthDots), sourceY)) {
                scaled.setBlack(x, y);
            }
        }
    }
    return scaled;
}

}  // namespace render
