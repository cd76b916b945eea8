// SPDX-License-Identifier: MIT
#include "zplsim/barcode_bars.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

namespace zplsim {
namespace {

constexpr int kCode128Stop = 106;
constexpr int kCode128Shift = 98;
constexpr int kCode128CodeC = 99;
constexpr int kCode128Fnc1 = 102;

// Bar and space widths in modules of every Code 128 symbol character, bar first.
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

// EAN digit patterns in modules, dark = 1: set A (odd parity), set B (even), set C (right half).
constexpr std::array<std::string_view, 10> kEanSetA{"0001101", "0011001", "0010011", "0111101", "0100011",
                                                    "0110001", "0101111", "0111011", "0110111", "0001011"};
constexpr std::array<std::string_view, 10> kEanSetB{"0100111", "0110011", "0011011", "0100001", "0011101",
                                                    "0111001", "0000101", "0010001", "0001001", "0010111"};
// Which of the six left digits of an EAN-13 use set B, by the leading digit.
constexpr std::array<std::string_view, 10> kEan13Parity{"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                                        "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};

// Interleaved 2 of 5: the five elements of each digit, w wide.
constexpr std::array<std::string_view, 10> kItfDigits{"nnwwn", "wnnnw", "nwnnw", "wwnnn", "nnwnw",
                                                      "wnwnn", "nwwnn", "nnnww", "wnnwn", "nwnwn"};

struct TwoWidthCharacter {
    char character;
    std::string_view elements;  // bar first, w wide
};

constexpr std::array<TwoWidthCharacter, 44> kCode39{{
    {'0', "nnnwwnwnn"}, {'1', "wnnwnnnnw"}, {'2', "nnwwnnnnw"}, {'3', "wnwwnnnnn"}, {'4', "nnnwwnnnw"},
    {'5', "wnnwwnnnn"}, {'6', "nnwwwnnnn"}, {'7', "nnnwnnwnw"}, {'8', "wnnwnnwnn"}, {'9', "nnwwnnwnn"},
    {'A', "wnnnnwnnw"}, {'B', "nnwnnwnnw"}, {'C', "wnwnnwnnn"}, {'D', "nnnnwwnnw"}, {'E', "wnnnwwnnn"},
    {'F', "nnwnwwnnn"}, {'G', "nnnnnwwnw"}, {'H', "wnnnnwwnn"}, {'I', "nnwnnwwnn"}, {'J', "nnnnwwwnn"},
    {'K', "wnnnnnnww"}, {'L', "nnwnnnnww"}, {'M', "wnwnnnnwn"}, {'N', "nnnnwnnww"}, {'O', "wnnnwnnwn"},
    {'P', "nnwnwnnwn"}, {'Q', "nnnnnnwww"}, {'R', "wnnnnnwwn"}, {'S', "nnwnnnwwn"}, {'T', "nnnnwnwwn"},
    {'U', "wwnnnnnnw"}, {'V', "nwwnnnnnw"}, {'W', "wwwnnnnnn"}, {'X', "nwnnwnnnw"}, {'Y', "wwnnwnnnn"},
    {'Z', "nwwnwnnnn"}, {'-', "nwnnnnwnw"}, {'.', "wwnnnnwnn"}, {' ', "nwwnnnwnn"}, {'*', "nwnnwnwnn"},
    {'$', "nwnwnwnnn"}, {'/', "nwnwnnnwn"}, {'+', "nwnnnwnwn"}, {'%', "nnnwnwnwn"},
}};

constexpr std::array<TwoWidthCharacter, 20> kCodabar{{
    {'0', "nnnnnww"}, {'1', "nnnnwwn"}, {'2', "nnnwnnw"}, {'3', "wwnnnnn"}, {'4', "nnwnnwn"},
    {'5', "wnnnnwn"}, {'6', "nwnnnnw"}, {'7', "nwnnwnn"}, {'8', "nwwnnnn"}, {'9', "wnnwnnn"},
    {'-', "nnnwwnn"}, {'$', "nnwwnnn"}, {':', "wnnnwnw"}, {'/', "wnwnnnw"}, {'.', "wnwnwnn"},
    {'+', "nnwnwnw"}, {'A', "nnwwnwn"}, {'B', "nwnwnnw"}, {'C', "nnnwnww"}, {'D', "nnnwwwn"},
}};

std::string parameter(const std::vector<std::string>& parts, std::size_t index, std::string_view fallback) {
    return index < parts.size() && !parts[index].empty() ? parts[index] : std::string(fallback);
}

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The check digit of EAN and ITF: weights 3 and 1 from the right.
char mod10CheckDigit(std::string_view digits) {
    int sum = 0;
    int weight = 3;
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
        sum += (*digit - '0') * weight;
        weight = 4 - weight;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// Appends bars and spaces in dots.
class BarWriter {
public:
    BarWriter(int narrowDots, int wideDots) : narrow_(narrowDots), wide_(wideDots) {}

    void modules(std::string_view darkOrLight) {
        for (const char module : darkOrLight) bars_.append(static_cast<std::size_t>(narrow_), module == '1' ? '1' : '0');
    }
    // Widths in modules, bar first.
    void widths(std::string_view digits) {
        bool bar = true;
        for (const char digit : digits) {
            bars_.append(static_cast<std::size_t>(narrow_ * (digit - '0')), bar ? '1' : '0');
            bar = !bar;
        }
    }
    // n(arrow) and w(ide) elements, bar first unless told otherwise.
    void elements(std::string_view narrowOrWide, bool barFirst = true) {
        bool bar = barFirst;
        for (const char element : narrowOrWide) {
            bars_.append(static_cast<std::size_t>(element == 'w' ? wide_ : narrow_), bar ? '1' : '0');
            bar = !bar;
        }
    }
    void gap() { bars_.append(static_cast<std::size_t>(narrow_), '0'); }
    std::string take() { return std::move(bars_); }

private:
    int narrow_;
    int wide_;
    std::string bars_;
};

BarcodeBars refused(std::string error) { return {{}, {}, std::move(error)}; }

BarcodeBars ean(const Field& field, std::size_t digits, BarWriter writer) {
    if (field.data.size() != digits - 1 || !allDigits(field.data)) {
        return refused("^" + field.command + " takes " + std::to_string(digits - 1) + " digits");
    }
    const std::string full = field.data + mod10CheckDigit(field.data);
    const bool ean13 = digits == 13;
    const std::string_view parity = ean13 ? kEan13Parity[static_cast<std::size_t>(full[0] - '0')] : "AAAA";
    const std::string_view left = std::string_view(full).substr(ean13 ? 1 : 0, parity.size());
    const std::string_view right = std::string_view(full).substr(ean13 ? 7 : 4);
    writer.modules("101");
    for (std::size_t i = 0; i < left.size(); ++i) {
        const auto digit = static_cast<std::size_t>(left[i] - '0');
        writer.modules(parity[i] == 'A' ? kEanSetA[digit] : kEanSetB[digit]);
    }
    writer.modules("01010");
    for (const char c : right) {
        std::string setC(kEanSetA[static_cast<std::size_t>(c - '0')]);
        for (char& module : setC) module = module == '1' ? '0' : '1';
        writer.modules(setC);
    }
    writer.modules("101");
    return {writer.take(), full, {}};
}

BarcodeBars interleaved2of5(const Field& field, BarWriter writer) {
    const auto parts = parametersOf(field.params);
    std::string digits = field.data;
    if (!allDigits(digits) || digits.empty()) return refused("^B2 takes digits");
    if (parameter(parts, 4, "N") == "Y") digits += mod10CheckDigit(digits);
    if (digits.size() % 2 != 0) digits.insert(digits.begin(), '0');  // the printer pads to pairs
    writer.elements("nnnn");
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const std::string_view bars = kItfDigits[static_cast<std::size_t>(digits[i] - '0')];
        const std::string_view spaces = kItfDigits[static_cast<std::size_t>(digits[i + 1] - '0')];
        for (std::size_t e = 0; e < bars.size(); ++e) writer.elements(std::string{bars[e], spaces[e]});
    }
    writer.elements("wnn");
    return {writer.take(), digits, {}};
}

template <std::size_t N>
const TwoWidthCharacter* find(const std::array<TwoWidthCharacter, N>& table, char c) {
    const auto found = std::find_if(table.begin(), table.end(), [c](const TwoWidthCharacter& entry) { return entry.character == c; });
    return found == table.end() ? nullptr : &*found;
}

BarcodeBars code39(const Field& field, BarWriter writer) {
    constexpr std::string_view kCharacters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    std::string text = field.data;
    int sum = 0;
    for (const char c : text) {
        const auto at = kCharacters.find(c);
        if (at == std::string_view::npos) return refused(std::string("^B3 cannot draw '") + c + "'");
        sum += static_cast<int>(at);
    }
    if (parameter(parametersOf(field.params), 1, "N") == "Y") text += kCharacters[static_cast<std::size_t>(sum % 43)];
    const std::string framed = "*" + text + "*";
    for (std::size_t i = 0; i < framed.size(); ++i) {
        if (i > 0) writer.gap();
        writer.elements(find(kCode39, framed[i])->elements);
    }
    return {writer.take(), text, {}};
}

BarcodeBars codabar(const Field& field, BarWriter writer) {
    const auto parts = parametersOf(field.params);
    if (parameter(parts, 1, "N") != "N") return refused("^BK has no check digit");
    const std::string framed = parameter(parts, 5, "A") + field.data + parameter(parts, 6, "A");
    for (std::size_t i = 0; i < framed.size(); ++i) {
        const bool startOrStop = i == 0 || i + 1 == framed.size();
        const char c = framed[i];
        const auto* entry = find(kCodabar, c);
        if (entry == nullptr || (c >= 'A' && c <= 'D') != startOrStop) {
            return refused(std::string("^BK cannot draw '") + c + "' there");
        }
        if (i > 0) writer.gap();
        writer.elements(entry->elements);
    }
    return {writer.take(), framed, {}};
}

// Code 128 field data as a printer reads it in mode N: a start code (subset B when none),
// then characters of the subset in force (B: ASCII; A and C: pairs of digits) and the
// invocation codes ">x".
struct Code128Reading {
    std::vector<int> codewords;
    std::string readable;
    std::string error;
};

int invocationValue(char code) {
    constexpr std::string_view kCodes = "<0=12345678";
    constexpr std::array<int, 11> kValues{62, 30, 94, 95, 96, 97, 98, 99, 100, 101, 102};
    const auto at = kCodes.find(code);
    return at == std::string_view::npos ? -1 : kValues[at];
}

void appendLatin1(std::string& text, int code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

class Code128Reader {
public:
    Code128Reading read(std::string_view data) {
        set_ = 'B';
        int start = 104;
        if (data.size() >= 2 && data[0] == '>' && (data[1] == '9' || data[1] == ':' || data[1] == ';')) {
            set_ = data[1] == '9' ? 'A' : data[1] == ':' ? 'B' : 'C';
            start = data[1] == '9' ? 103 : data[1] == ':' ? 104 : 105;
            data.remove_prefix(2);
        }
        reading_.codewords.push_back(start);
        while (!data.empty() && reading_.error.empty()) {
            if (data[0] == '>' && data.size() >= 2) {
                invocation(data[1]);
                data.remove_prefix(2);
            } else if (set_ == 'B') {
                character(static_cast<unsigned char>(data[0]) - 32);
                data.remove_prefix(1);
            } else if (data.size() >= 2 && allDigits(data.substr(0, 2))) {
                character((data[0] - '0') * 10 + (data[1] - '0'));
                data.remove_prefix(2);
            } else {
                reading_.error = std::string("subset ") + set_ + " takes pairs of digits";
            }
        }
        return std::move(reading_);
    }

private:
    void invocation(char code) {
        const int value = invocationValue(code);
        if (value < 0 || (set_ == 'C' && value < 100)) {
            reading_.error = std::string("no invocation code >") + code + " in subset " + set_;
            return;
        }
        add(value);
    }
    void character(int value) {
        if (value < 0 || value > 101) {
            reading_.error = "not a Code 128 character";
            return;
        }
        add(value);
    }
    void add(int value) {
        reading_.codewords.push_back(value);
        const bool digits = set_ == 'C' && value < 100;
        if (value == kCode128Shift && !digits) {
            reading_.error = "SHIFT is not drawn here";
        } else if (value == kCode128Fnc1) {
            if (reading_.codewords.size() > 2) reading_.readable += '\x1D';
        } else if (set_ != 'C' && value == (set_ == 'A' ? 101 : 100)) {
            fnc4_ = true;
        } else if ((value == kCode128CodeC && !digits) || value == 100 || value == 101) {
            set_ = value == kCode128CodeC ? 'C' : value == 100 ? 'B' : 'A';
        } else if (digits) {
            reading_.readable += static_cast<char>('0' + value / 10);
            reading_.readable += static_cast<char>('0' + value % 10);
        } else {
            const int ascii = set_ == 'B' ? value + 32 : value < 64 ? value + 32 : value - 64;
            appendLatin1(reading_.readable, ascii + (fnc4_ ? 128 : 0));
            fnc4_ = false;
        }
    }

    Code128Reading reading_;
    char set_ = 'B';
    bool fnc4_ = false;
};

BarcodeBars code128(const Field& field, BarWriter writer) {
    const auto parts = parametersOf(field.params);
    if (parameter(parts, 5, "N") != "N") return refused("^BC modes other than N are not drawn here");
    if (parameter(parts, 4, "N") != "N") return refused("^BC with the UCC check digit is not drawn here");
    Code128Reading reading = Code128Reader().read(field.data);
    if (!reading.error.empty()) return refused("^BC: " + reading.error);
    int sum = reading.codewords.front();
    for (std::size_t i = 1; i < reading.codewords.size(); ++i) sum += static_cast<int>(i) * reading.codewords[i];
    reading.codewords.push_back(sum % 103);
    reading.codewords.push_back(kCode128Stop);
    for (const int codeword : reading.codewords) writer.widths(kCode128Widths[static_cast<std::size_t>(codeword)]);
    return {writer.take(), reading.readable, {}};
}

}  // namespace

std::vector<std::string> parametersOf(const std::string& params) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto comma = params.find(',', start);
        parts.push_back(params.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

BarcodeBars barcodeBars(const Field& field) {
    if (field.kind != FieldKind::Barcode) return {};
    const int narrow = std::max(1, field.bar.moduleWidthDots);
    const int wide = static_cast<int>(std::lround(field.bar.wideToNarrow * narrow));
    const BarWriter writer(narrow, wide);
    if (field.command == "BE") return ean(field, 13, writer);
    if (field.command == "B8") return ean(field, 8, writer);
    if (field.command == "B2") return interleaved2of5(field, writer);
    if (field.command == "B3") return code39(field, writer);
    if (field.command == "BK") return codabar(field, writer);
    if (field.command == "BC") return code128(field, writer);
    return {};
}

}  // namespace zplsim
