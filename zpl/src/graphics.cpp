// SPDX-License-Identifier: MIT
#include "zpl/graphics.h"

#include <cstdio>
#include <vector>

#include <zlib.h>

#include "label_parts.h"
#include "zpl/commands.h"

namespace zpl {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kLongestRepeat = 400 + 19;  // "z" (400) and "Y" (19) before one character
constexpr const char* kHexDigits = "0123456789ABCDEF";

std::size_t rowBytesOf(const render::Raster& raster) { return (static_cast<std::size_t>(raster.widthDots) + 7) / 8; }

// The raster's rows, each exactly as wide as the graphic, with the dots past the right
// edge white whatever the raster held there.
std::vector<Bytes> graphicRows(const render::Raster& raster) {
    const std::size_t rowBytes = rowBytesOf(raster);
    const int spareBits = static_cast<int>(rowBytes * 8) - raster.widthDots;
    const auto lastByteMask = static_cast<std::uint8_t>(0xFFu << spareBits);
    std::vector<Bytes> rows;
    rows.reserve(static_cast<std::size_t>(raster.heightDots));
    for (int y = 0; y < raster.heightDots; ++y) {
        const auto start = raster.bits.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * raster.strideBytes);
        Bytes row(start, start + static_cast<std::ptrdiff_t>(rowBytes));
        if (!row.empty()) row.back() &= lastByteMask;
        rows.push_back(std::move(row));
    }
    return rows;
}

// A run of one hex digit: up to 419 of them as count letters and the digit.
void appendRun(std::string& out, char digit, int count) {
    if (count < 3) {
        out.append(static_cast<std::size_t>(count), digit);
        return;
    }
    if (count >= 20) out += static_cast<char>('g' + count / 20 - 1);
    if (count % 20 != 0) out += static_cast<char>('G' + count % 20 - 1);
    out += digit;
}

std::string compressedRow(const Bytes& row) {
    std::string hex;
    for (const std::uint8_t byte : row) {
        hex += kHexDigits[byte >> 4];
        hex += kHexDigits[byte & 0x0F];
    }
    const auto lastInk = hex.find_last_not_of('0');
    if (lastInk == std::string::npos) return ",";
    const bool whiteTail = lastInk + 1 < hex.size();
    hex.resize(lastInk + 1);
    std::string out;
    for (std::size_t i = 0; i < hex.size();) {
        std::size_t run = 1;
        while (i + run < hex.size() && hex[i + run] == hex[i] && run < kLongestRepeat) ++run;
        appendRun(out, hex[i], static_cast<int>(run));
        i += run;
    }
    return whiteTail ? out + "," : out;
}

std::string hexData(const render::Raster& raster) {
    std::string data;
    const Bytes* previous = nullptr;
    const auto rows = graphicRows(raster);
    for (const Bytes& row : rows) {
        data += previous != nullptr && row == *previous ? ":" : compressedRow(row);
        previous = &row;
    }
    return data;
}

std::string base64(const Bytes& bytes) {
    static constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t chunk = (static_cast<std::uint32_t>(bytes[i]) << 16) |
                                    (i + 1 < bytes.size() ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0u) |
                                    (i + 2 < bytes.size() ? bytes[i + 2] : 0u);
        out += kAlphabet[(chunk >> 18) & 63];
        out += kAlphabet[(chunk >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[chunk & 63] : '=';
    }
    return out;
}

std::uint16_t crc16(std::string_view text) {
    std::uint16_t crc = 0;
    for (const char c : text) {
        crc = static_cast<std::uint16_t>(crc ^ (static_cast<std::uint8_t>(c) << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

std::string z64Data(const render::Raster& raster) {
    Bytes plain;
    for (const Bytes& row : graphicRows(raster)) plain.insert(plain.end(), row.begin(), row.end());
    uLongf length = ::compressBound(static_cast<uLong>(plain.size()));
    Bytes packed(length);
    ::compress2(packed.data(), &length, plain.data(), static_cast<uLong>(plain.size()), Z_BEST_COMPRESSION);
    packed.resize(length);
    const std::string encoded = base64(packed);
    char crc[5];
    std::snprintf(crc, sizeof crc, "%04X", crc16(encoded));
    return ":Z64:" + encoded + ":" + crc;
}

std::string byteCounts(const render::Raster& raster) {
    const std::size_t total = rowBytesOf(raster) * static_cast<std::size_t>(raster.heightDots);
    return std::to_string(total) + "," + std::to_string(rowBytesOf(raster));
}

std::string graphicKey(const render::Raster& raster) {
    std::string key = std::to_string(raster.widthDots) + "x" + std::to_string(raster.heightDots) + ":";
    for (const Bytes& row : graphicRows(raster)) key.append(row.begin(), row.end());
    return key;
}

}  // namespace

std::string graphicData(const render::Raster& raster, GraphicCompression compression) {
    std::string hex = hexData(raster);
    if (compression == GraphicCompression::Hex) return hex;
    std::string z64 = z64Data(raster);
    return z64.size() < hex.size() ? z64 : hex;
}

std::string graphicField(const render::Raster& raster, FieldOrigin fieldOrigin, GraphicCompression compression) {
    const std::size_t total = rowBytesOf(raster) * static_cast<std::size_t>(raster.heightDots);
    return origin(fieldOrigin) + "^GFA," + std::to_string(total) + "," + byteCounts(raster) + "," +
           graphicData(raster, compression) + "^FS";
}

GraphicStore::GraphicStore(GraphicCompression compression, std::string namePrefix)
    : compression_(compression), namePrefix_(std::move(namePrefix)) {}

std::string GraphicStore::store(const std::string& key, const render::Raster& raster, std::string& downloads) {
    const std::string name = "R:" + namePrefix_ + base36(names_.size() + 1) + ".GRF";
    names_.emplace(key, name);
    storedBytes_ += rowBytesOf(raster) * static_cast<std::size_t>(raster.heightDots);
    downloads += "~DG" + name + "," + byteCounts(raster) + "," + graphicData(raster, compression_);
    return name;
}

std::string GraphicStore::place(const render::Raster& raster, FieldOrigin fieldOrigin, std::string& downloads) {
    const std::string key = graphicKey(raster);
    const auto found = names_.find(key);
    if (found != names_.end()) return origin(fieldOrigin) + "^XG" + found->second + "^FS";
    if (storedBytes_ + rowBytesOf(raster) * static_cast<std::size_t>(raster.heightDots) > kMostStoredBytes) {
        return graphicField(raster, fieldOrigin, compression_);
    }
    return origin(fieldOrigin) + "^XG" + store(key, raster, downloads) + "^FS";
}

std::string GraphicStore::placeFieldText(const render::Raster& raster, FieldOrigin fieldOrigin, std::string& downloads) {
    const std::string key = graphicKey(raster);
    const std::size_t hash = std::hash<std::string>{}(key);
    if (names_.contains(key) || storedBytes_ < kMostStoredBytes / 2 || seen_.contains(hash)) {
        return place(raster, fieldOrigin, downloads);
    }
    seen_.insert(hash);
    seenOrder_.push_back(hash);
    if (seenOrder_.size() > kMostRemembered) {
        seen_.erase(seenOrder_.front());
        seenOrder_.pop_front();
    }
    return graphicField(raster, fieldOrigin, compression_);
}

// The job's graphics all begin with its prefix.
std::string GraphicStore::deleteAll() const {
    if (names_.empty()) return {};
    return "^XA^IDR:" + namePrefix_ + "*.GRF^FS^XZ";
}

}  // namespace zpl
