// SPDX-License-Identifier: MIT
#include "frame/text.h"

#include <cstdio>

namespace frame {
namespace {

constexpr char32_t kEscapedByteBase = 0xDC80;

std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed sequence at text[at], or returns 0 code point length on error.
std::size_t decodeOne(std::string_view text, std::size_t at, char32_t& out) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = sequenceLength(lead);
    if (length == 0 || at + length > text.size()) return 0;
    if (length == 1) {
        out = lead;
        return 1;
    }
    char32_t value = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if (!isContinuation(byte)) return 0;
        value = (value << 6) | (byte & 0x3Fu);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    out = value;
    return length;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp >= kEscapedByteBase && cp <= kEscapedByteBase + 0x7F) {
        out.push_back(static_cast<char>(cp - kEscapedByteBase + 0x80));
    } else if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::u32string fromUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        const std::size_t length = decodeOne(text, at, cp);
        if (length == 0) {
            out.push_back(kEscapedByteBase + (static_cast<unsigned char>(text[at]) - 0x80u));
            ++at;
        } else {
            out.push_back(cp);
            at += length;
        }
    }
    return out;
}

std::string toUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t cp : text) appendUtf8(out, cp);
    return out;
}

std::string_view leftChars(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t taken = 0; taken < count && at < text.size(); ++taken) {
        char32_t ignored = 0;
        const std::size_t length = decodeOne(text, at, ignored);
        at += length == 0 ? 1 : length;
    }
    return text.substr(0, at);
}

std::u32string_view trimBlanks(std::u32string_view text) {
    const auto first = text.find_first_not_of(U' ');
    if (first == std::u32string_view::npos) return {};
    const auto last = text.find_last_not_of(U' ');
    return text.substr(first, last - first + 1);
}

std::string withSignPosition(std::int64_t number) {
    return (number < 0 ? "" : " ") + std::to_string(number);
}

std::string hexOf(std::int32_t number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(static_cast<std::uint32_t>(number)));
    return buffer;
}

}  // namespace frame
