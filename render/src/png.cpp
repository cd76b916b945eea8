// SPDX-License-Identifier: MIT
#include "render/png.h"

#include <cmath>
#include <cstdint>
#include <new>
#include <string_view>

#include <zlib.h>

namespace render {
namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
constexpr int kBitDepth = 1;
constexpr int kGreyscale = 0;
constexpr double kMetresPerInch = 0.0254;

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFFu));
}

void appendChunk(std::string& out, std::string_view type, std::string_view data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.append(type);
    out.append(data);
    const auto* checked = reinterpret_cast<const Bytef*>(out.data() + typeAt);
    appendBigEndian(out, static_cast<std::uint32_t>(crc32(0, checked, static_cast<uInt>(type.size() + data.size()))));
}

std::string header(const Raster& raster) {
    std::string data;
    appendBigEndian(data, static_cast<std::uint32_t>(raster.widthDots));
    appendBigEndian(data, static_cast<std::uint32_t>(raster.heightDots));
    data += {static_cast<char>(kBitDepth), static_cast<char>(kGreyscale), 0, 0, 0};  // no interlace
    return data;
}

std::string physicalSize(const Raster& raster) {
    const auto dotsPerMetre = static_cast<std::uint32_t>(std::lround(raster.dotsPerInch / kMetresPerInch));
    std::string data;
    appendBigEndian(data, dotsPerMetre);
    appendBigEndian(data, dotsPerMetre);
    data.push_back(1);  // the unit is the metre
    return data;
}

// Each row after filter byte 0; a PNG grey of 1 is white, so the bits are inverted.
std::string filteredRows(const Raster& raster) {
    std::string rows;
    rows.reserve((raster.strideBytes + 1) * static_cast<std::size_t>(raster.heightDots));
    for (std::size_t row = 0; row < static_cast<std::size_t>(raster.heightDots); ++row) {
        rows.push_back(0);
        const std::uint8_t* bits = raster.bits.data() + row * raster.strideBytes;
        for (std::size_t byte = 0; byte < raster.strideBytes; ++byte) rows.push_back(static_cast<char>(~bits[byte]));
    }
    return rows;
}

std::string compressed(const std::string& rows) {
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(rows.data()),
                  static_cast<uLong>(rows.size()), Z_BEST_SPEED) != Z_OK) {
        throw std::bad_alloc();  // the one way compress2 fails with a buffer of compressBound
    }
    out.resize(size);
    return out;
}

}  // namespace

std::string encodePng(const Raster& raster) {
    std::string png(kSignature);
    appendChunk(png, "IHDR", header(raster));
    if (raster.dotsPerInch > 0) {
        appendChunk(png, "pHYs", physicalSize(raster));
    }
    appendChunk(png, "IDAT", compressed(filteredRows(raster)));
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace render
