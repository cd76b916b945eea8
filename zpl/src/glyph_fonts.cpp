// SPDX-License-Identifier: MIT
#include "zpl/glyph_fonts.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "label_parts.h"

namespace zpl {
namespace {

// The bytes fonts give their glyphs, in order: "!" to "}" without "^".
constexpr std::array<char, GlyphFonts::kGlyphsPerFont> kCodes = [] {
    std::array<char, GlyphFonts::kGlyphsPerFont> codes{};
    std::size_t next = 0;
    for (char c = '!'; c <= '}'; ++c) {
        if (c != '^') codes[next++] = c;
    }
    return codes;
}();

constexpr std::size_t kLongestCopyright = 12;

std::string glyphKey(const render::GlyphImage& glyph) {
    return glyph.face + "|" + std::to_string(glyph.glyph) + "|" + std::to_string(glyph.advanceDots);
}

// The glyph's dots as ~DB takes them: at least one dot, so that a blank has a bitmap too.
render::Raster bitmapOf(const render::GlyphImage& glyph) {
    return glyph.dots.widthDots > 0 ? glyph.dots : render::Raster::blank(1, 1, 0);
}

std::string hexCode(char code) {
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(code);
    return {kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
}

// ~DB asks for the fonts's copyright holder: the family the glyphs were drawn from, in
// letters and digits.
std::string familyOf(const std::string& face) {
    std::string family;
    for (const char c : face) {
        if (std::isdigit(static_cast<unsigned char>(c)) && !family.empty() && family.back() == ' ') break;  // the size
        if (std::isalnum(static_cast<unsigned char>(c)) && family.size() < kLongestCopyright) family += c;
        if (c == ' ') family += ' ';
    }
    std::erase(family, ' ');
    return family.empty() ? "glyphs" : family;
}

}  // namespace

struct GlyphFonts::Font {
    std::string name;  // "AB1.FNT", on R:
    std::string face;
    std::vector<std::shared_ptr<const render::GlyphImage>> glyphs;  // glyph i has code kCodes[i]
    int baselineDots = 0;  // from the top of the cell, fixed when the font is downloaded
    int cellHeightDots = 1;
};

GlyphFonts::GlyphFonts(GraphicCompression compression, std::string namePrefix)
    : compression_(compression), namePrefix_(std::move(namePrefix)) {}

GlyphFonts::~GlyphFonts() = default;

std::size_t GlyphFonts::fontCount() const { return fonts_.size(); }

std::size_t GlyphFonts::missing(const std::vector<render::PlacedGlyph>& glyphs) const {
    return static_cast<std::size_t>(std::count_if(glyphs.begin(), glyphs.end(), [&](const render::PlacedGlyph& glyph) {
        return !places_.contains(glyphKey(*glyph.image));
    }));
}

GlyphFonts::GlyphPlace GlyphFonts::place(const render::GlyphImage& glyph) {
    const std::string key = glyphKey(glyph);
    if (const auto known = places_.find(key); known != places_.end()) return known->second;
    auto open = openFonts_.find(glyph.face);
    if (open == openFonts_.end() || fonts_[open->second]->glyphs.size() == kGlyphsPerFont) {
        auto font = std::make_unique<Font>();
        font->name = namePrefix_ + base36(fonts_.size() + 1) + ".FNT";
        font->face = glyph.face;
        fonts_.push_back(std::move(font));
        open = openFonts_.insert_or_assign(glyph.face, fonts_.size() - 1).first;
    }
    Font& font = *fonts_[open->second];
    // The glyph is kept by its picture's owner, the layout, and here.
    font.glyphs.push_back(std::make_shared<const render::GlyphImage>(glyph));
    const GlyphPlace placed{open->second, kCodes[font.glyphs.size() - 1]};
    places_.emplace(key, placed);
    return placed;
}

std::optional<GlyphFonts::Line> GlyphFonts::typeset(const std::vector<render::PlacedGlyph>& glyphs, int xDots, int yDots) {
    for (const render::PlacedGlyph& glyph : glyphs) {
        // A glyph's ink must begin at its origin or right of it (~DB's offsets are not
        // negative), and the line on the label.
        if (glyph.image->dots.widthDots > 0 && glyph.image->leftDots < 0) return std::nullopt;
        if (glyph.xDots + xDots < 0 || glyph.baselineDots + yDots < 0) return std::nullopt;
    }
    Line line;
    const render::PlacedGlyph* before = nullptr;
    for (const render::PlacedGlyph& glyph : glyphs) {
        const GlyphPlace placed = place(*glyph.image);
        const bool goesOn = before != nullptr && glyph.baselineDots == before->baselineDots &&
                            glyph.xDots == before->xDots + before->image->advanceDots;
        if (!goesOn || placed.font != line.runs.back().font) {
            line.runs.push_back({placed.font, "", glyph.xDots + xDots, glyph.baselineDots + yDots, goesOn});
        }
        line.runs.back().codes += placed.code;
        before = &glyph;
    }
    return line;
}

std::string GlyphFonts::takeDownloads() {
    std::string downloads;
    for (; downloadedFonts_ < fonts_.size(); ++downloadedFonts_) {
        Font& font = *fonts_[downloadedFonts_];
        int top = 0;
        int bottom = 1;
        int right = 1;
        for (const auto& glyph : font.glyphs) {
            const render::Raster bitmap = bitmapOf(*glyph);
            top = std::min(top, glyph->topDots);
            bottom = std::max(bottom, glyph->topDots + bitmap.heightDots);
            right = std::max(right, glyph->leftDots + bitmap.widthDots);
        }
        font.baselineDots = -top;
        font.cellHeightDots = bottom - top;
        std::string characters;
        for (std::size_t i = 0; i < font.glyphs.size(); ++i) {
            const render::GlyphImage& glyph = *font.glyphs[i];
            const render::Raster bitmap = bitmapOf(glyph);
            const int left = glyph.dots.widthDots > 0 ? glyph.leftDots : 0;
            const int yOffset = glyph.dots.widthDots > 0 ? glyph.topDots - top : 0;
            characters += "#" + hexCode(kCodes[i]) + "." + std::to_string(bitmap.heightDots) + "." +
                          std::to_string(bitmap.widthDots) + "." + std::to_string(left) + "." + std::to_string(yOffset) +
                          "." + std::to_string(glyph.advanceDots) + "." + graphicData(bitmap, compression_);
            storedBytes_ += static_cast<std::size_t>(bitmap.heightDots) * ((static_cast<std::size_t>(bitmap.widthDots) + 7) / 8);
        }
        downloads += "~DBR:" + font.name + ",N," + std::to_string(font.cellHeightDots) + "," + std::to_string(right) + "," +
                     std::to_string(font.baselineDots) + ",1," + std::to_string(font.glyphs.size()) + "," +
                     familyOf(font.face) + "," + characters;
    }
    openFonts_.clear();
    return downloads;
}

std::string GlyphFonts::fields(const Line& line) const {
    std::string text;
    for (const Line::Run& run : line.runs) {
        const Font& font = *fonts_[run.font];
        text += run.goesOn ? std::string("^FT") : "^FT" + std::to_string(run.penXDots) + "," + std::to_string(run.baselineDots);
        text += "^A@N," + std::to_string(font.cellHeightDots) + ",," + font.name + "^FD" + run.codes + "^FS";
    }
    return text;
}

std::string GlyphFonts::deleteAll() const {
    if (fonts_.empty()) return {};
    return "^XA^IDR:" + namePrefix_ + "*.FNT^FS^XZ";
}

}  // namespace zpl
