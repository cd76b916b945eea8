// SPDX-License-Identifier: MIT
#include "zpl/barcodes.h"

#include <algorithm>
#include <array>
#include <vector>

#include "zpl/commands.h"

namespace zpl {
namespace {

constexpr int kLargestModuleDots = 10;  // ^BY and ^BQ take modules of 1 to 10 dots
// A QR code placed with ^FO prints lower by the ^BY bar height in force, as ZPL printers do:
// before ^BQ goes the height printers start with, and the origin is raised by it.
constexpr int kQrBarHeightDots = 10;

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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

// "^FD<error correction M><input mode>,<data>". The renderer encodes text that is all JIS
// X 0208 in Kanji mode and the rest as UTF-8 with its ECI, which the printer's byte mode
// cannot say: only ASCII (whose modes the printer chooses as the renderer does) and Kanji
// go native.
std::optional<std::string> qrFieldData(const std::string& text) {
    if (isAscii(text)) return fieldData("MA," + text);
    if (const auto sjis = shiftJis(text); sjis && kanjiModeCharacters(*sjis)) {
        return "^FH^FDMM,K" + escapedBytes(*sjis);
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

bool isTwoWidth(labelformat::Symbology symbology) {
    return symbology == labelformat::Symbology::Code39 || symbology == labelformat::Symbology::Nw7 ||
           symbology == labelformat::Symbology::Itf14;
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
        case labelformat::Symbology::Ean13: return SymbologyField{"^BE" + o + "," + h + ",N,N", "^FD" + data.substr(0, 12)};
        case labelformat::Symbology::Ean8: return SymbologyField{"^B8" + o + "," + h + ",N,N", "^FD" + data.substr(0, 7)};
        case labelformat::Symbology::Itf14: return SymbologyField{"^B2" + o + "," + h + ",N,N,N", "^FD" + data};
        case labelformat::Symbology::Code39: return SymbologyField{"^B3" + o + ",N," + h + ",N,N", "^FD" + data};
        case labelformat::Symbology::Nw7:
            return SymbologyField{"^BK" + o + ",N," + h + ",N,N," + data.front() + "," + data.back(),
                                  "^FD" + data.substr(1, data.size() - 2)};
        case labelformat::Symbology::Code128:
        case labelformat::Symbology::Gs1_128: {
            const auto characters = code128Characters(symbol);
            const auto fieldData = characters ? code128Data(*characters) : std::nullopt;
            if (!fieldData) return std::nullopt;
            return SymbologyField{"^BC" + o + "," + h + ",N,N,N,N", "^FD" + *fieldData};
        }
        case labelformat::Symbology::Qr: {
            if (placement.rotationDeg != 0) return std::nullopt;  // ^BQ prints upright only
            const auto fieldData = qrFieldData(data);
            if (!fieldData) return std::nullopt;
            return SymbologyField{"^BQN,2," + std::to_string(placement.moduleWidthDots) + ",M", *fieldData};
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> barcodeField(const render::EncodedSymbol& symbol, const BarcodePlacement& placement) {
    if (placement.moduleWidthDots < 1 || placement.moduleWidthDots > kLargestModuleDots || placement.heightDots < 1) {
        return std::nullopt;
    }
    if (isTwoWidth(symbol.symbology) && symbol.wideToNarrow != 2 && symbol.wideToNarrow != 3) return std::nullopt;
    const auto field = symbologyField(symbol, placement);
    if (!field) return std::nullopt;
    const std::string ratio = isTwoWidth(symbol.symbology) ? std::to_string(symbol.wideToNarrow) + ".0" : "3.0";
    int barHeightDots = placement.heightDots;
    FieldOrigin fieldOrigin = placement.origin;
    if (symbol.symbology == labelformat::Symbology::Qr) {
        barHeightDots = kQrBarHeightDots;
        fieldOrigin.yDots -= kQrBarHeightDots;
        if (fieldOrigin.baseline || fieldOrigin.yDots < 0) return std::nullopt;  // too near the top: a graphic
    }
    return "^BY" + std::to_string(placement.moduleWidthDots) + "," + ratio + "," + std::to_string(barHeightDots) +
           origin(fieldOrigin) + field->command + field->data + "^FS";
}

}  // namespace zpl
