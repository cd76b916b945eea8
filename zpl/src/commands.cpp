// SPDX-License-Identifier: MIT
#include "zpl/commands.h"

#include <algorithm>
#include <memory>

#include <iconv.h>

#include "render/free_with.h"

namespace zpl {
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

std::optional<std::string> shiftJis(std::string_view utf8) {
    const std::unique_ptr<void, render::FreeWith<::iconv_close>> converter(::iconv_open("CP932", "UTF-8"));
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

bool shiftJisCovers(std::string_view utf8) { return shiftJis(utf8).has_value(); }

std::string escapedBytes(std::string_view bytes) {
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += '_';
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0x0F];
    }
    return out;
}

std::string fieldData(std::string_view text) {
    std::string escaped;
    bool escapes = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '^' || c == '~' || c == '_' || byte < 0x20 || byte == 0x7F) {
            escaped += escapedBytes(std::string_view(&c, 1));
            escapes = true;
        } else {
            escaped += c;
        }
    }
    return (escapes ? "^FH^FD" : "^FD") + escaped;
}

std::string formatStart(int widthDots, int lengthDots) { return "^XA" + formatSettings(widthDots, lengthDots); }

std::string formatSettings(int widthDots, int lengthDots) {
    return "^CI28^PW" + std::to_string(widthDots) + "^LL" + std::to_string(lengthDots) + "^LH0,0";
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

}  // namespace zpl
