// SPDX-License-Identifier: MIT
#include "zplsim/bitmap_font.h"

#include <algorithm>
#include <charconv>

#include "zplsim/zpl_decoder.h"

namespace zplsim {
namespace {

constexpr std::size_t kMostCharacters = 256;  // ~DB takes 1 to 256 characters
constexpr std::uint32_t kReplacement = 0xFFFD;

std::optional<long> integer(std::string_view text, int base = 10) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || text.empty() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> pieces(std::string_view text, char separator, std::size_t most) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < most) {
        const auto at = text.find(separator);
        if (at == std::string_view::npos) break;
        parts.push_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    parts.push_back(text);
    return parts;
}

// "code.h.w.x.y.i.bitmap" (the "#" already taken off): one character, or why not.
std::string readCharacter(std::string_view text, BitmapFont& font) {
    const auto parts = pieces(text, '.', 7);
    if (parts.size() < 7) return "a character without its seven parts";
    const auto code = integer(parts[0], 16);
    const auto height = integer(parts[1]);
    const auto width = integer(parts[2]);
    const auto x = integer(parts[3]);
    const auto y = integer(parts[4]);
    const auto advance = integer(parts[5]);
    if (!code || parts[0].size() > 4 || !height || !width || !x || !y || !advance || *height < 0 || *width < 0) {
        return "character " + std::string(parts[0]) + ": parameters that are not numbers";
    }
    FontCharacter character{static_cast<int>(*x), static_cast<int>(*y), static_cast<int>(*advance), static_cast<int>(*width), {}};
    if (*height > 0 && *width > 0) {
        const auto rowBytes = static_cast<std::size_t>((*width + 7) / 8);
        DecodedGraphic decoded = decodeGraphicData(parts[6], rowBytes * static_cast<std::size_t>(*height), rowBytes);
        if (!decoded.error.empty()) return "character " + std::string(parts[0]) + ": " + decoded.error;
        character.bitmap = std::move(decoded.bitmap);
    }
    font.characters[static_cast<std::uint32_t>(*code)] = std::move(character);
    return {};
}

std::size_t utf8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
}

void paintMagnified(Bitmap& onto, const Bitmap& glyph, int widthDots, int left, int top, int magnifyX, int magnifyY) {
    for (int y = 0; y < glyph.heightDots * magnifyY; ++y) {
        for (int x = 0; x < std::min(widthDots, glyph.widthDots) * magnifyX; ++x) {
            if (!glyph.isBlack(x / magnifyX, y / magnifyY)) continue;
            const int atX = left + x;
            const int atY = top + y;
            onto.bits[static_cast<std::size_t>(atY) * onto.strideBytes + static_cast<std::size_t>(atX) / 8] |=
                static_cast<std::uint8_t>(0x80u >> (atX % 8));
        }
    }
}

}  // namespace

DownloadedFont readBitmapFont(std::string_view params) {
    const auto parts = pieces(params, ',', 9);
    DownloadedFont downloaded;
    if (parts.size() < 9) {
        downloaded.error = "~DB without its eight parameters and data";
        return downloaded;
    }
    downloaded.name = objectName(parts[0], ".FNT");
    const auto height = integer(parts[2]);
    const auto width = integer(parts[3]);
    const auto base = integer(parts[4]);
    const auto space = integer(parts[5]);
    const auto count = integer(parts[6]);
    if (!height || !width || !base || !space || !count || *count < 1 || static_cast<std::size_t>(*count) > kMostCharacters) {
        downloaded.error = "~DB " + downloaded.name + ": cell, baseline, space or character count not understood";
        return downloaded;
    }
    BitmapFont font{static_cast<int>(*height), static_cast<int>(*width), static_cast<int>(*base), static_cast<int>(*space), {}};
    std::string_view data = parts[8];
    const auto first = data.find('#');
    long read = 0;
    for (const std::string_view character : pieces(first == std::string_view::npos ? "" : data.substr(first + 1), '#', SIZE_MAX)) {
        if (first == std::string_view::npos) break;
        if (std::string error = readCharacter(character, font); !error.empty()) {
            downloaded.error = "~DB " + downloaded.name + ": " + error;
            return downloaded;
        }
        ++read;
    }
    if (read != *count) {
        downloaded.error = "~DB " + downloaded.name + ": " + std::to_string(read) + " characters where the count says " +
                           std::to_string(*count);
        return downloaded;
    }
    downloaded.font = std::move(font);
    return downloaded;
}

std::vector<std::uint32_t> characterCodes(std::string_view data, int encoding) {
    std::vector<std::uint32_t> codes;
    for (std::size_t at = 0; at < data.size();) {
        const auto lead = static_cast<unsigned char>(data[at]);
        const std::size_t length = encoding == 28 ? utf8Length(lead) : 1;
        if (length == 0 || at + length > data.size()) {
            codes.push_back(kReplacement);
            ++at;
            continue;
        }
        std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(data[at + i]) & 0x3Fu);
        codes.push_back(code);
        at += length;
    }
    return codes;
}

TypesetText typeset(const BitmapFont& font, const std::vector<std::uint32_t>& codes, int penXDots, int baselineYDots,
                    int magnifyX, int magnifyY) {
    struct Placed {
        const FontCharacter* character;
        int left;
        int top;
    };
    std::vector<Placed> placed;
    const int cellTop = baselineYDots - font.baselineDots * magnifyY;
    int pen = penXDots;
    for (const std::uint32_t code : codes) {
        const auto found = font.characters.find(code);
        if (found == font.characters.end()) {
            pen += font.spaceDots * magnifyX;
            continue;
        }
        const FontCharacter& character = found->second;
        if (character.bitmap) {
            placed.push_back({&character, pen + character.xOffsetDots * magnifyX, cellTop + character.yOffsetDots * magnifyY});
        }
        pen += character.advanceDots * magnifyX;
    }
    TypesetText text;
    text.endXDots = pen;
    if (placed.empty()) return text;
    int left = placed.front().left, top = placed.front().top, right = left, bottom = top;
    for (const Placed& glyph : placed) {
        left = std::min(left, glyph.left);
        top = std::min(top, glyph.top);
        right = std::max(right, glyph.left + std::min(glyph.character->widthDots, glyph.character->bitmap->widthDots) * magnifyX);
        bottom = std::max(bottom, glyph.top + glyph.character->bitmap->heightDots * magnifyY);
    }
    Bitmap dots;
    dots.widthDots = right - left;
    dots.heightDots = bottom - top;
    dots.strideBytes = (static_cast<std::size_t>(dots.widthDots) + 7) / 8;
    dots.bits.assign(dots.strideBytes * static_cast<std::size_t>(dots.heightDots), 0);
    for (const Placed& glyph : placed) {
        paintMagnified(dots, *glyph.character->bitmap, glyph.character->widthDots, glyph.left - left, glyph.top - top,
                       magnifyX, magnifyY);
    }
    text.dots = std::move(dots);
    text.leftDots = left;
    text.topDots = top;
    return text;
}

}  // namespace zplsim
