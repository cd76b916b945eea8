// SPDX-License-Identifier: MIT
#include "printers/files/label_line.h"

#include <cstdint>

namespace bcpctrl::printers::files {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool inRange(unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; }

// How many bytes at `at` form one well-formed UTF-8 character; when they do not, how many
// form the longest start of one (at least 1), returned negated.
int utf8Length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    int length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (inRange(lead, 0xC2, 0xDF)) {
        length = 2;
    } else if (inRange(lead, 0xE0, 0xEF)) {
        length = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;
        secondHigh = lead == 0xED ? 0x9F : 0xBF;
    } else if (inRange(lead, 0xF0, 0xF4)) {
        length = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        const std::size_t next = at + static_cast<std::size_t>(i);
        const bool fits = next < text.size() && (i == 1 ? inRange(static_cast<unsigned char>(text[next]), secondLow, secondHigh)
                                                        : inRange(static_cast<unsigned char>(text[next]), 0x80, 0xBF));
        if (!fits) return -i;
    }
    return length;
}

void appendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (byte) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\b': out += "\\b"; return;
        case '\f': out += "\\f"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
    }
    out += "\\u00";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t plainFrom = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\') {
            ++at;
            continue;
        }
        out.append(text.substr(plainFrom, at - plainFrom));
        if (byte < 0x80) {
            appendEscaped(out, byte);
            ++at;
        } else if (const int length = utf8Length(text, at); length > 0) {
            out.append(text.substr(at, static_cast<std::size_t>(length)));
            at += static_cast<std::size_t>(length);
        } else {
            out += kReplacement;
            at += static_cast<std::size_t>(-length);
        }
        plainFrom = at;
    }
    out.append(text.substr(plainFrom));
    out += '"';
}

std::string labelLine(int labelNumber, int copies, bool cut, const labelformat::FieldValues& values) {
    // Written directly rather than through a JSON object, whose keyed inserts would make
    // a label of n fields cost n squared.
    std::string line = "{\"label\":" + std::to_string(labelNumber) + ",\"copies\":" + std::to_string(copies) +
                       ",\"cut\":" + (cut ? "true" : "false") + ",\"fields\":{";
    bool first = true;
    for (const auto& [number, text] : values) {
        if (text.empty()) {
            continue;
        }
        line += first ? "\"" : ",\"";
        line += std::to_string(number);
        line += "\":";
        appendJsonString(line, text);
        first = false;
    }
    line += "}}";
    return line;
}

}  // namespace bcpctrl::printers::files
