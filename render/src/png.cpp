// SPDX-License-Identifier: MIT
#include "render/png.h"

#include <cmath>
#include <cstdint>
#include <new>

#include <zlib.h>

namespace render {
namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
constexpr int kBitDepth = 1;
constexpr int kGreyscale = 0;
constexpr double kMetresPerInch = 0.0254;
// A label is long runs of white and black bytes: run-length matches alone find nearly
// everything and cost a fraction of the usual search.
constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFFu));
}

// Length, type, data (already appended after `typeAt` + 4 by the caller) and checksum.
void closeChunk(std::string& out, std::size_t lengthAt) {
    const std::size_t dataLength = out.size() - lengthAt - 8;
    for (int byte = 0; byte < 4; ++byte) {
        out[lengthAt + static_cast<std::size_t>(byte)] = static_cast<char>((dataLength >> (24 - 8 * byte)) & 0xFFu);
    }
    const auto* checked = reinterpret_cast<const Bytef*>(out.data() + lengthAt + 4);
    appendBigEndian(out, static_cast<std::uint32_t>(crc32(0, checked, static_cast<uInt>(dataLength + 4))));
}

std::size_t openChunk(std::string& out, std::string_view type) {
    const std::size_t lengthAt = out.size();
    out.append(4, '\0');
    out.append(type);
    return lengthAt;
}

void appendHeader(std::string& out, const Raster& raster) {
    const std::size_t chunk = openChunk(out, "IHDR");
    appendBigEndian(out, static_cast<std::uint32_t>(raster.widthDots));
    appendBigEndian(out, static_cast<std::uint32_t>(raster.heightDots));
    out += {static_cast<char>(kBitDepth), static_cast<char>(kGreyscale), 0, 0, 0};  // no interlace
    closeChunk(out, chunk);
}

void appendPhysicalSize(std::string& out, const Raster& raster) {
    const std::size_t chunk = openChunk(out, "pHYs");
    const auto dotsPerMetre = static_cast<std::uint32_t>(std::lround(raster.dotsPerInch / kMetresPerInch));
    appendBigEndian(out, dotsPerMetre);
    appendBigEndian(out, dotsPerMetre);
    out.push_back(1);  // the unit is the metre
    closeChunk(out, chunk);
}

// Each row after filter byte 2 ("up": the difference to the row above), so that rows
// like the one above become zeros that compress to almost nothing. A PNG grey of 1 is
// white, so the bits are inverted first.
void filterRows(const Raster& raster, std::string& rows) {
    constexpr char kUpFilter = 2;
    const std::size_t stride = raster.strideBytes;
    rows.resize((stride + 1) * static_cast<std::size_t>(raster.heightDots));
    char* to = rows.data();
    for (std::size_t row = 0; row < static_cast<std::size_t>(raster.heightDots); ++row) {
        *to++ = kUpFilter;
        const std::uint8_t* bits = raster.bits.data() + row * stride;
        const std::uint8_t* above = row > 0 ? bits - stride : nullptr;
        for (std::size_t byte = 0; byte < stride; ++byte) {
            const auto shown = static_cast<std::uint8_t>(~bits[byte]);
            const auto shownAbove = static_cast<std::uint8_t>(above != nullptr ? ~above[byte] : 0);
            *to++ = static_cast<char>(static_cast<std::uint8_t>(shown - shownAbove));
        }
    }
}

}  // namespace

struct PngEncoder::Compressor {
    z_stream stream{};
    Compressor() {
        if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, kWindowBits, kMemoryLevel, Z_RLE) != Z_OK) {
            throw std::bad_alloc();
        }
    }
    ~Compressor() { deflateEnd(&stream); }

    void compress(const std::string& rows, std::string& out) {
        deflateReset(&stream);
        const std::size_t start = out.size();
        out.resize(start + deflateBound(&stream, static_cast<uLong>(rows.size())));
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rows.data()));
        stream.avail_in = static_cast<uInt>(rows.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + start);
        stream.avail_out = static_cast<uInt>(out.size() - start);
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::bad_alloc();  // the bound always suffices
        out.resize(start + stream.total_out);
    }
};

PngEncoder::PngEncoder() : compressor_(std::make_unique<Compressor>()) {}
PngEncoder::~PngEncoder() = default;

std::string_view PngEncoder::encode(const Raster& raster) {
    png_.assign(kSignature);
    appendHeader(png_, raster);
    if (raster.dotsPerInch > 0) appendPhysicalSize(png_, raster);
    filterRows(raster, rows_);
    const std::size_t chunk = openChunk(png_, "IDAT");
    compressor_->compress(rows_, png_);
    closeChunk(png_, chunk);
    closeChunk(png_, openChunk(png_, "IEND"));
    return png_;
}

std::string encodePng(const Raster& raster) {
    PngEncoder encoder;
    return std::string(encoder.encode(raster));
}

}  // namespace render
