// SPDX-License-Identifier: MIT
#include "raster_surface.h"

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

SurfaceHandle newA1Surface(int widthDots, int heightDots) {
    return SurfaceHandle(cairo_image_surface_create(CAIRO_FORMAT_A1, widthDots, heightDots));
}

Raster whiteRaster(int widthDots, int heightDots, int dotsPerInch) {
    Raster raster;
    raster.widthDots = widthDots;
    raster.heightDots = heightDots;
    raster.dotsPerInch = dotsPerInch;
    raster.strideBytes = (index(widthDots) + 7) / 8;
    raster.bits.assign(raster.strideBytes * index(heightDots), 0);
    return raster;
}

void setBlack(Raster& raster, int xDots, int yDots) {
    raster.bits[index(yDots) * raster.strideBytes + index(xDots) / 8] |= static_cast<std::uint8_t>(0x80u >> (xDots % 8));
}

Raster rasterFromA1(cairo_surface_t* surface, int dotsPerInch) {
    cairo_surface_flush(surface);
    Raster raster = whiteRaster(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface), dotsPerInch);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const auto stride = index(cairo_image_surface_get_stride(surface));
    for (std::size_t row = 0; row < index(raster.heightDots); ++row) {
        const unsigned char* from = data + row * stride;
        std::uint8_t* to = raster.bits.data() + row * raster.strideBytes;
        for (std::size_t byte = 0; byte < raster.strideBytes; ++byte) to[byte] = fromCairo(from[byte]);
    }
    // Dots past the right edge stay white, whatever cairo left in its padding.
    if (const int spare = raster.widthDots % 8; spare != 0) {
        const auto keep = static_cast<std::uint8_t>(0xFFu << (8 - spare));
        for (std::size_t row = 0; row < index(raster.heightDots); ++row) {
            raster.bits[row * raster.strideBytes + raster.strideBytes - 1] &= keep;
        }
    }
    return raster;
}

SurfaceHandle a1FromRaster(const Raster& raster) {
    SurfaceHandle surface = newA1Surface(raster.widthDots, raster.heightDots);
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
                setBlack(scaled, x, y);
            }
        }
    }
    return scaled;
}

}  // namespace render
