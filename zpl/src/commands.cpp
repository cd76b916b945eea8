// SPDX-License-Identifier: MIT
#include "bcpctrl/zpl_commands.h"

#include <algorithm>
#include <array>
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
constexpr const char* kHexDigits = "0123456789ABCDEF";
constexpr int kLargestModuleDots = 10;  // ^BY and ^BQ take modules of 1 to 10 dots

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

std::string base36(std::size_t number) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[number % 36]);
        number /= 36;
    } while (number > 0);
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

// "^FD<error correction M><input mode>,<data>". The renderer encodes text that is all JIS
// X 0208 in Kanji mode and the rest as UTF-8 with its ECI, which the printer's byte mode
// cannot say: only ASCII (whose modes the printer chooses as the renderer does) and Kanji
// go native.
std::optional<std::string> qrFieldData(const std::string& text) {
    if (isAscii(text)) return fieldData("MA," + text);
    if (const auto sjis = shiftJis(text); sjis && kanjiModeCharacters(*sjis)) {
        return "^FH^FDMM,K" + everyByteEscaped(*sjis);
    }
    return std::nullopt;
}

// Bar and space widths in modules of every Code 128 symbol character, bar first, by value
// (106 is the stop, which ends with one more bar).
constexpr std::array<std::string_view, 107> kCode128Widths{
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};
constexpr int kModulesPerCharacter = 11;
constexpr int kStopModules = 13;
constexpr int kStartA = 103;
constexpr int kStartB = 104;
constexpr int kShift = 98;
constexpr int kCodeC = 99;
constexpr int kCodeBOrFnc4 = 100;  // code set B, or FNC4 in set B
constexpr int kCodeAOrFnc4 = 101;  // code set A, or FNC4 in set A
constexpr int kFnc1 = 102;

// The widths of the bars and spaces of modules [first, first + count), bar first.
std::string runWidths(const render::EncodedSymbol& symbol, int first, int count) {
    std::string widths;
    for (int column = first; column < first + count; ++column) {
        if (column == first || symbol.isDark(column) != symbol.isDark(column - 1)) widths += '0';
        ++widths.back();
    }
    return symbol.isDark(first) ? widths : std::string();
}

// The symbol characters of a Code 128 symbol, read back from its modules: the start code and
// the data, without the check character (the printer adds its own) and the stop.
std::optional<std::vector<int>> code128Characters(const render::EncodedSymbol& symbol) {
    if (symbol.rows != 1 || symbol.columns < 2 * kModulesPerCharacter + kStopModules ||
        (symbol.columns - kStopModules) % kModulesPerCharacter != 0 ||
        runWidths(symbol, symbol.columns - kStopModules, kStopModules) != kCode128Widths.back()) {
        return std::nullopt;
    }
    std::vector<int> characters;
    for (int first = 0; first < symbol.columns - kStopModules; first += kModulesPerCharacter) {
        const auto found = std::find(kCode128Widths.begin(), kCode128Widths.end() - 1,
                                     runWidths(symbol, first, kModulesPerCharacter));
        if (found == kCode128Widths.end() - 1) return std::nullopt;
        characters.push_back(static_cast<int>(found - kCode128Widths.begin()));
    }
    characters.pop_back();  // the check character
    return characters;
}

// One symbol character of code set B as ^BC field data: ASCII as it is, but for the ZPL
// prefixes and '>' (which starts an invocation code) and the values above '~'.
std::string codeSetBCharacter(int value) {
    switch (value) {
        case '>' - 32: return ">0";
        case '^' - 32: return "><";
        case '~' - 32: return ">=";
        case 95: return ">1";  // DEL
        case 96: return ">2";  // FNC3
        case 97: return ">3";  // FNC2
        default: return std::string(1, static_cast<char>(value + 32));
    }
}

std::string digitPair(int value) { return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)}; }

// ^BC field data (mode N) for exactly these symbol characters: the start code, then code
// set A and C as pairs of digits, B as text, and the changes of code set, FNC1 and FNC4 as
// invocation codes. Nothing for SHIFT, which ^BC cannot state.
std::optional<std::string> code128Data(const std::vector<int>& characters) {
    char set = characters.front() == kStartA ? 'A' : characters.front() == kStartB ? 'B' : 'C';
    std::string data = set == 'A' ? ">9" : set == 'B' ? ">:" : ">;";
    for (std::size_t i = 1; i < characters.size(); ++i) {
        const int value = characters[i];
        if (value == kFnc1) {
            data += ">8";
        } else if (set == 'C' && value < kCodeBOrFnc4) {
            data += digitPair(value);
        } else if (value == kShift) {
            return std::nullopt;
        } else if (value == kCodeC) {
            data += ">5";
            set = 'C';
        } else if (value == kCodeBOrFnc4) {
            data += ">6";  // FNC4 in code set B keeps it
            set = 'B';
        } else if (value == kCodeAOrFnc4) {
            data += ">7";  // FNC4 in code set A keeps it
            set = 'A';
        } else {
            data += set == 'B' ? codeSetBCharacter(value) : digitPair(value);
        }
    }
    return data;
}

bool isTwoWidth(bcpctrl::Symbology symbology) {
    return symbology == bcpctrl::Symbology::Code39 || symbology == bcpctrl::Symbology::Nw7 ||
           symbology == bcpctrl::Symbology::Itf14;
}

struct SymbologyField {
    std::string command;  // the symbology's command with its parameters
    std::string data;     // ^FD... (and ^FH before it where needed)
};

std::optional<SymbologyField> symbologyField(const render::EncodedSymbol& symbol, const BarcodePlacement& placement) {
    const std::string o(1, orientation(placement.rotationDeg));
    const std::string h = std::to_string(placement.heightDots);
    const std::string& data = symbol.data;
    switch (symbol.symbology) {
        case bcpctrl::Symbology::Ean13: return SymbologyField{"^BE" + o + "," + h + ",N,N", "^FD" + data.substr(0, 12)};
        case bcpctrl::Symbology::Ean8: return SymbologyField{"^B8" + o + "," + h + ",N,N", "^FD" + data.substr(0, 7)};
        case bcpctrl::Symbology::Itf14: return SymbologyField{"^B2" + o + "," + h + ",N,N,N", "^FD" + data};
        case bcpctrl::Symbology::Code39: return SymbologyField{"^B3" + o + ",N," + h + ",N,N", "^FD" + data};
        case bcpctrl::Symbology::Nw7:
            return SymbologyField{"^BK" + o + ",N," + h + ",N,N," + data.front() + "," + data.back(),
                                  "^FD" + data.substr(1, data.size() - 2)};
        case bcpctrl::Symbology::Code128:
        case bcpctrl::Symbology::Gs1_128: {
            const auto characters = code128Characters(symbol);
            const auto fieldData = characters ? code128Data(*characters) : std::nullopt;
            if (!fieldData) return std::nullopt;
            return SymbologyField{"^BC" + o + "," + h + ",N,N,N,N", "^FD" + *fieldData};
        }
        case bcpctrl::Symbology::Qr: {
            if (placement.rotationDeg != 0) return std::nullopt;  // ^BQ prints upright only
            const auto fieldData = qrFieldData(data);
            if (!fieldData) return std::nullopt;
            return SymbologyField{"^BQN,2," + std::to_string(placement.moduleWidthDots) + ",M", *fieldData};
        }
    }
    return std::nullopt;
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

std::optional<std::string> barcodeField(const render::EncodedSymbol& symbol, const BarcodePlacement& placement) {
    if (placement.moduleWidthDots < 1 || placement.moduleWidthDots > kLargestModuleDots || placement.heightDots < 1) {
        return std::nullopt;
    }
    if (isTwoWidth(symbol.symbology) && symbol.wideToNarrow != 2 && symbol.wideToNarrow != 3) return std::nullopt;
    const auto field = symbologyField(symbol, placement);
    if (!field) return std::nullopt;
    const std::string ratio = isTwoWidth(symbol.symbology) ? std::to_string(symbol.wideToNarrow) + ".0" : "3.0";
    return "^BY" + std::to_string(placement.moduleWidthDots) + "," + ratio + "," + std::to_string(placement.heightDots) +
           origin(placement.origin) + field->command + field->data + "^FS";
}

std::string textField(const TextField& field) {
    const bool named = !field.fontName.empty();
    std::string font = (named ? "^A@" : "^A0") + std::string(1, orientation(field.rotationDeg)) + "," +
                       std::to_string(field.heightDots);
    if (field.widthDots > 0 || named) font += "," + std::to_string(field.widthDots);
    if (named) font += "," + field.fontName;
    std::string block;
    if (field.blockWidthDots > 0) block = "^FB" + std::to_string(field.blockWidthDots) + ",,," + field.justification;
    return origin(field.origin) + font + block + fieldData(field.text) + "^FS";
}

bool shiftJisCovers(std::string_view utf8) { return shiftJis(utf8).has_value(); }

std::string fieldData(std::string_view text) {
    std::string escaped;
    bool escapes = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '^' || c == '~' || c == '_' || byte < 0x20 || byte == 0x7F) {
            escaped += '_';
            escaped += kHexDigits[byte >> 4];
            escaped += kHexDigits[byte & 0x0F];
            escapes = true;
        } else {
            escaped += c;
        }
    }
    return (escapes ? "^FH^FD" : "^FD") + escaped;
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
