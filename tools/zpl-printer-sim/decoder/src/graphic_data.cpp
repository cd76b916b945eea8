// SPDX-License-Identifier: MIT
#include "zplsim/graphic_data.h"

#include <algorithm>
#include <cctype>

#include <zlib.h>

namespace zplsim {
namespace {

constexpr std::size_t kMaxGraphicBytes = 64 * 1024 * 1024;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Writes nibbles into rows of a fixed length and knows where the current row starts.
class NibbleRows {
public:
    NibbleRows(std::size_t totalBytes, std::size_t bytesPerRow)
        : bytes_(totalBytes, 0), rowNibbles_(bytesPerRow * 2) {}

    bool full() const { return written_ >= bytes_.size() * 2; }
    void put(int nibble) {
        if (full()) {
            overflow_ = true;
            return;
        }
        auto& byte = bytes_[written_ / 2];
        byte = static_cast<std::uint8_t>(written_ % 2 == 0 ? nibble << 4 : byte | nibble);
        ++written_;
    }
    void fillRow(int nibble) {
        do put(nibble);
        while (!full() && written_ % rowNibbles_ != 0);
    }
    // The rest of this row as the row above has it (all of it at the start of a row).
    void repeatRowAbove() {
        do put(written_ < rowNibbles_ ? 0 : nibbleAt(written_ - rowNibbles_));
        while (!full() && written_ % rowNibbles_ != 0);
    }
    bool overflowed() const { return overflow_; }
    std::size_t nibblesWritten() const { return written_; }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    int nibbleAt(std::size_t index) const {
        const auto byte = bytes_[index / 2];
        return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
    }

    std::vector<std::uint8_t> bytes_;
    std::size_t rowNibbles_;
    std::size_t written_ = 0;
    bool overflow_ = false;
};

int repeatCountOf(char c) {
    if (c >= 'G' && c <= 'Y') return c - 'G' + 1;
    if (c >= 'g' && c <= 'z') return (c - 'g' + 1) * 20;
    return 0;
}

std::optional<std::vector<std::uint8_t>> decodeHex(std::string_view data, std::size_t totalBytes,
                                                   std::size_t bytesPerRow, std::string& error) {
    NibbleRows rows(totalBytes, bytesPerRow);
    int repeat = 0;
    for (const char c : data) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        if (const int count = repeatCountOf(c)) {
            repeat += count;
        } else if (const int nibble = hexValue(c); nibble >= 0) {
            for (int i = 0; i < std::max(repeat, 1); ++i) rows.put(nibble);
            repeat = 0;
        } else if (c == ',' || c == '!') {
            rows.fillRow(c == ',' ? 0 : 0xF);
            repeat = 0;
        } else if (c == ':') {
            rows.repeatRowAbove();
            repeat = 0;
        } else {
            error = std::string("not graphic data: '") + c + "'";
            return std::nullopt;
        }
    }
    if (rows.overflowed()) error = "more data than the byte count";
    if (!rows.full()) {
        error = "data ends after " + std::to_string(rows.nibblesWritten() / 2) + " of " +
                std::to_string(totalBytes) + " bytes";
    }
    return rows.take();
}

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (const char c : text) {
        if (c == '=') break;
        const auto value = kAlphabet.find(c);
        if (value == std::string_view::npos) return std::nullopt;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(buffer >> bits));
        }
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> inflated(const std::vector<std::uint8_t>& compressed, std::size_t size) {
    std::vector<std::uint8_t> out(size);
    uLongf length = static_cast<uLongf>(size);
    if (::uncompress(out.data(), &length, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK ||
        length != size) {
        return std::nullopt;
    }
    return out;
}

std::string withoutSpace(std::string_view text) {
    std::string kept;
    for (const char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) kept += c;
    }
    return kept;
}

std::optional<std::uint16_t> crcFrom(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    std::uint16_t crc = 0;
    for (const char c : text) {
        const int digit = hexValue(c);
        if (digit < 0) return std::nullopt;
        crc = static_cast<std::uint16_t>(crc * 16 + digit);
    }
    return crc;
}

// ":Z64:<base64>:<crc>" or ":B64:...": the CRC covers the base64 text as sent.
std::optional<std::vector<std::uint8_t>> decodeBase64Graphic(std::string_view data, std::size_t totalBytes,
                                                             std::string& error) {
    const bool compressed = data.substr(0, 5) == ":Z64:";
    data.remove_prefix(5);
    const auto crcColon = data.find(':');
    const std::string_view encoded = data.substr(0, crcColon);
    const auto crc = crcColon == std::string_view::npos ? std::nullopt : crcFrom(data.substr(crcColon + 1));
    if (!crc || *crc != crc16(encoded)) {
        error = crc ? "CRC does not match the data" : "no CRC of four hexadecimal digits";
        return std::nullopt;
    }
    auto bytes = decodeBase64(encoded);
    if (!bytes) {
        error = "not base64";
        return std::nullopt;
    }
    if (compressed) {
        bytes = inflated(*bytes, totalBytes);
        if (!bytes) error = "the compressed data does not inflate to the byte count";
    } else if (bytes->size() != totalBytes) {
        error = "base64 data is not the byte count";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

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

DecodedGraphic decodeGraphicData(std::string_view data, std::size_t totalBytes, std::size_t bytesPerRow) {
    DecodedGraphic decoded;
    if (bytesPerRow == 0 || totalBytes == 0 || totalBytes % bytesPerRow != 0 || totalBytes > kMaxGraphicBytes) {
        decoded.error = "byte counts do not make whole rows";
        return decoded;
    }
    const std::string compact = withoutSpace(data);
    std::optional<std::vector<std::uint8_t>> bytes;
    if (compact.compare(0, 5, ":Z64:") == 0 || compact.compare(0, 5, ":B64:") == 0) {
        decoded.encoding = compact.substr(1, 3);
        bytes = decodeBase64Graphic(compact, totalBytes, decoded.error);
    } else {
        decoded.encoding = "hex";
        bytes = decodeHex(compact, totalBytes, bytesPerRow, decoded.error);
    }
    if (bytes) {
        decoded.bitmap = Bitmap{static_cast<int>(bytesPerRow * 8), static_cast<int>(totalBytes / bytesPerRow),
                                bytesPerRow, std::move(*bytes)};
    }
    return decoded;
}

std::string portableBitmap(const Bitmap& bitmap) {
    std::string file = "P4\n" + std::to_string(bitmap.widthDots) + " " + std::to_string(bitmap.heightDots) + "\n";
    const std::size_t rowBytes = (static_cast<std::size_t>(bitmap.widthDots) + 7) / 8;
    for (int y = 0; y < bitmap.heightDots; ++y) {
        const auto row = bitmap.bits.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * bitmap.strideBytes);
        file.append(row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }
    return file;
}

Bitmap magnified(const Bitmap& bitmap, int factorX, int factorY) {
    if (factorX <= 1 && factorY <= 1) return bitmap;
    Bitmap big;
    big.widthDots = bitmap.widthDots * factorX;
    big.heightDots = bitmap.heightDots * factorY;
    big.strideBytes = (static_cast<std::size_t>(big.widthDots) + 7) / 8;
    big.bits.assign(big.strideBytes * static_cast<std::size_t>(big.heightDots), 0);
    for (int y = 0; y < big.heightDots; ++y) {
        for (int x = 0; x < big.widthDots; ++x) {
            if (bitmap.isBlack(x / factorX, y / factorY)) {
                big.bits[static_cast<std::size_t>(y) * big.strideBytes + static_cast<std::size_t>(x) / 8] |=
                    static_cast<std::uint8_t>(0x80u >> (x % 8));
            }
        }
    }
    return big;
}

}  // namespace zplsim
