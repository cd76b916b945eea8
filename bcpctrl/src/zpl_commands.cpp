// SPDX-License-Identifier: MIT
#include "bcpctrl/zpl_commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

#include <iconv.h>
#include <zlib.h>

namespace bcpctrl::zpl {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kLongestRepeat = 400 + 19;  // "z" (400) and "Y" (19) before one character
constexpr std::size_t kLongestQrBytes = 9999;  // byte mode counts with four digits
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

std::string digitsOnly(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    }
    return digits;
}

// Without the check digit, which the printer calculates.
std::string withoutCheckDigit(std::string_view data, std::size_t fullLength) {
    std::string digits = digitsOnly(data);
    if (digits.size() == fullLength) digits.pop_back();
    return digits;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct IconvCloser {
    void operator()(void* handle) const { ::iconv_close(static_cast<iconv_t>(handle)); }
};

std::optional<std::string> shiftJis(std::string_view utf8) {
    const std::unique_ptr<void, IconvCloser> converter(::iconv_open("CP932", "UTF-8"));
    if (converter.get() == reinterpret_cast<void*>(-1)) return std::nullopt;
    std::string in(utf8);
    std::string out(utf8.size() * 2 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    if (::iconv(static_cast<iconv_t>(converter.get()), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

// QR Kanji mode holds Shift JIS characters 0x8140-0x9FFC and 0xE040-0xEBBF only.
bool kanjiModeCharacters(std::string_view sjis) {
    if (sjis.empty() || sjis.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < sjis.size(); i += 2) {
        const unsigned code = static_cast<unsigned>(static_cast<unsigned char>(sjis[i])) << 8 |
                              static_cast<unsigned char>(sjis[i + 1]);
        if (!((code >= 0x8140 && code <= 0x9FFC) || (code >= 0xE040 && code <= 0xEBBF))) return false;
    }
    return true;
}

std::string everyByteEscaped(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += '_';
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0x0F];
    }
    return out;
}

// "^FH^FD<error correction M><input mode>,<data>"
std::string qrFieldData(const std::string& text) {
    if (const auto sjis = shiftJis(text); sjis && kanjiModeCharacters(*sjis)) {
        return "^FH^FDMM,K" + everyByteEscaped(*sjis);
    }
    if (isAscii(text)) return fieldData("MA," + text);
    const std::string bytes = text.substr(0, kLongestQrBytes);
    char count[8];
    std::snprintf(count, sizeof count, "%04zu", bytes.size());
    return fieldData("MM,B" + std::string(count) + bytes);
}

std::string yesNo(bool value) { return value ? "Y" : "N"; }

// Code 128 from subset B; digits alone, in an even number, from subset C (half as wide).
std::string code128Data(const std::string& data) {
    const std::string digits = digitsOnly(data);
    if (!data.empty() && digits.size() == data.size() && data.size() % 2 == 0) return ">;" + data;
    std::string escaped;
    for (const char c : data) escaped += c == '>' ? std::string("><") : std::string(1, c);
    return escaped;
}

bool isCodabarGuard(char c) { return c >= 'A' && c <= 'D'; }

std::string symbologyCommand(const BarcodeField& field, std::string& data) {
    const char o = orientation(field.rotationDeg);
    const std::string h = std::to_string(field.heightDots);
    const std::string f = yesNo(field.humanReadable);
    const std::string common = std::string(1, o) + "," + h + "," + f + ",N";
    switch (field.symbology) {
        case Symbology::Ean13: data = withoutCheckDigit(field.data, 13); return "^BE" + common;
        case Symbology::Ean8: data = withoutCheckDigit(field.data, 8); return "^B8" + common;
        case Symbology::Code128: data = code128Data(field.data); return "^BC" + common + ",N,N";
        case Symbology::Gs1_128: data = field.data; return "^BC" + common + ",N,D";
        case Symbology::Code39: data = field.data; return "^B3" + std::string(1, o) + ",N," + h + "," + f + ",N";
        case Symbology::Itf14: data = digitsOnly(field.data); return "^B2" + common + ",N";
        case Symbology::Nw7: {
            data = field.data;
            std::string start = "A";
            std::string stop = "A";
            if (data.size() >= 2 && isCodabarGuard(data.front()) && isCodabarGuard(data.back())) {
                start = data.substr(0, 1);
                stop = data.substr(data.size() - 1);
                data = data.substr(1, data.size() - 2);
            }
            return "^BK" + std::string(1, o) + ",N," + h + "," + f + ",N," + start + "," + stop;
        }
        case Symbology::Qr: return "^BQN,2," + std::to_string(std::clamp(field.moduleWidthDots, 1, 10)) + ",M";
    }
    return {};
}

}  // namespace

std::string graphicData(const render::Raster& raster, GraphicCompression compression) {
    return compression == GraphicCompression::Z64 ? z64Data(raster) : hexData(raster);
}

std::string graphicField(const render::Raster& raster, FieldOrigin fieldOrigin, GraphicCompression compression) {
    const std::size_t total = rowBytesOf(raster) * static_cast<std::size_t>(raster.heightDots);
    return origin(fieldOrigin) + "^GFA," + std::to_string(total) + "," + byteCounts(raster) + "," +
           graphicData(raster, compression) + "^FS";
}

std::string GraphicStore::place(const render::Raster& raster, FieldOrigin fieldOrigin, std::string& downloads) {
    const std::string key = graphicKey(raster);
    auto found = names_.find(key);
    if (found == names_.end()) {
        char name[16];
        std::snprintf(name, sizeof name, "R:MK%06zu.GRF", names_.size() + 1);
        found = names_.emplace(key, name).first;
        downloads += "~DG" + found->second + "," + byteCounts(raster) + "," + graphicData(raster, compression_);
    }
    return origin(fieldOrigin) + "^XG" + found->second + ",1,1^FS";
}

std::string GraphicStore::deleteAll() const {
    if (names_.empty()) return {};
    std::string format = "^XA";
    for (const auto& [key, name] : names_) format += "^ID" + name + "^FS";
    return format + "^XZ";
}

std::string barcodeField(const BarcodeField& field) {
    std::string data;
    const std::string command = symbologyCommand(field, data);
    char ratio[16];
    std::snprintf(ratio, sizeof ratio, "%.1f", std::clamp(field.wideToNarrow, 2.0, 3.0));
    const std::string by = "^BY" + std::to_string(std::clamp(field.moduleWidthDots, 1, 10)) + "," + ratio + "," +
                           std::to_string(field.heightDots);
    const std::string fd = field.symbology == Symbology::Qr ? qrFieldData(field.data) : fieldData(data);
    return by + origin(field.origin) + command + fd + "^FS";
}

std::string textField(const TextField& field) {
    std::string font = "^A0" + std::string(1, orientation(field.rotationDeg)) + "," + std::to_string(field.heightDots);
    if (field.widthDots > 0) font += "," + std::to_string(field.widthDots);
    return origin(field.origin) + font + fieldData(field.text) + "^FS";
}

std::string fieldData(std::string_view text) {
    std::string escaped = "^FH^FD";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '^' || c == '~' || c == '_' || byte < 0x20 || byte == 0x7F) {
            escaped += '_';
            escaped += kHexDigits[byte >> 4];
            escaped += kHexDigits[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string formatStart(int widthDots, int lengthDots) {
    return "^XA^CI28^PW" + std::to_string(widthDots) + "^LL" + std::to_string(lengthDots) + "^LH0,0";
}

std::string formatEnd(int copies, bool cut, bool printerHasCutter) {
    const std::string q = std::to_string(std::max(copies, 1));
    if (cut && printerHasCutter) return "^MMC^PQ" + q + "," + q + ",0,Y^XZ";
    return "^MMT^PQ" + q + ",0,0,N^XZ";
}

std::string origin(FieldOrigin fieldOrigin) {
    return (fieldOrigin.baseline ? "^FT" : "^FO") + std::to_string(fieldOrigin.xDots) + "," +
           std::to_string(fieldOrigin.yDots);
}

char orientation(int rotationDeg) {
    switch (((rotationDeg % 360) + 360) % 360) {
        case 90: return 'R';
        case 180: return 'I';
        case 270: return 'B';
        default: return 'N';
    }
}

}  // namespace bcpctrl::zpl
