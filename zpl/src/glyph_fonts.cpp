// SPDX-License-Identifier: MIT
#include "zpl/glyph_fonts.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

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

constexpr std::size_t kLongestCopyright = 63;
// About what a field costs beside its glyphs: ^FT, ^A@ with the font's size and name, ^FD, ^FS.
constexpr std::size_t kFieldBytes = 24;
constexpr std::size_t kGlyphHeaderBytes = 16;  // "#41.37.30.0.2.34." before a glyph's data

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

// ~DB asks for the font's copyright holder: the font the glyphs were drawn from, its name
// and style in letters and digits (the face without its size and condensing).
std::string copyrightOf(const std::string& face) {
    std::string holder;
    for (const char c : face.substr(0, face.rfind(' '))) {
        if (std::isalnum(static_cast<unsigned char>(c)) && holder.size() < kLongestCopyright) holder += c;
    }
    return holder.empty() ? "glyphs" : holder;
}

}  // namespace

struct GlyphFonts::Font {
    std::string name;  // "AB1.FNT", on R:
    std::string face;
    bool lasting = false;  // gathered from the face's fragments: its glyphs stay in it
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

std::size_t GlyphFonts::newFont(const std::string& face, bool lasting) {
    auto font = std::make_unique<Font>();
    font->name = namePrefix_ + base36(fonts_.size() + 1) + ".FNT";
    font->face = face;
    font->lasting = lasting;
    fonts_.push_back(std::move(font));
    return fonts_.size() - 1;
}

GlyphFonts::GlyphPlace& GlyphFonts::place(const render::GlyphImage& glyph) {
    const std::string key = glyphKey(glyph);
    if (const auto known = places_.find(key); known != places_.end()) return known->second;
    auto open = openFonts_.find(glyph.face);
    if (open == openFonts_.end() || fonts_[open->second]->glyphs.size() == kGlyphsPerFont) {
        open = openFonts_.insert_or_assign(glyph.face, newFont(glyph.face, false)).first;
    }
    Font& font = *fonts_[open->second];
    // The glyph is kept by its picture's owner, the layout, and here.
    const auto image = std::make_shared<const render::GlyphImage>(glyph);
    font.glyphs.push_back(image);
    images_.emplace(key, image);
    Face& face = faces_[glyph.face];
    face.glyphs.push_back(key);
    face.priceBytes += kGlyphHeaderBytes + graphicData(bitmapOf(glyph), compression_).size();
    return places_.emplace(key, GlyphPlace{open->second, kCodes[font.glyphs.size() - 1], 0}).first->second;
}

// The face's glyphs in new fonts, the most used first, and found there from now on. The old
// fonts stay in the printer for the labels already sent.
void GlyphFonts::gather(const std::string& faceName) {
    Face& face = faces_[faceName];
    std::vector<std::string> keys = face.glyphs;
    std::stable_sort(keys.begin(), keys.end(),
                     [&](const std::string& a, const std::string& b) { return places_[a].uses > places_[b].uses; });
    std::size_t font = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i % kGlyphsPerFont == 0) font = newFont(faceName, true);
        fonts_[font]->glyphs.push_back(images_[keys[i]]);
        GlyphPlace& placed = places_[keys[i]];
        placed.font = font;
        placed.code = kCodes[i % kGlyphsPerFont];
    }
    face.wasteBytes = 0;
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
        GlyphPlace& placed = place(*glyph.image);
        ++placed.uses;
        const bool goesOn = before != nullptr && glyph.baselineDots == before->baselineDots &&
                            glyph.xDots == before->xDots + before->image->advanceDots;
        if (!goesOn || placed.font != line.runs.back().font) {
            if (goesOn && fonts_[line.runs.back().font]->face == glyph.image->face) {
                faces_[glyph.image->face].wasteBytes += kFieldBytes;
            }
            line.runs.push_back({placed.font, "", glyph.xDots + xDots, glyph.baselineDots + yDots, goesOn});
        }
        line.runs.back().codes += placed.code;
        before = &glyph;
    }
    return line;
}

std::string GlyphFonts::takeDownloads() {
    for (const auto& [name, face] : faces_) {
        std::set<std::size_t> fonts;
        for (const std::string& key : face.glyphs) fonts.insert(places_.at(key).font);
        const bool fragmented = fonts.size() > (face.glyphs.size() + kGlyphsPerFont - 1) / kGlyphsPerFont;
        if (fragmented && face.wasteBytes >= face.priceBytes) gather(name);
    }
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
                     copyrightOf(font.face) + "," + characters;
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

std::optional<GlyphFonts::LastingField> GlyphFonts::lastingField(const Line& line) const {
    if (line.runs.size() != 1 || !fonts_[line.runs.front().font]->lasting) return std::nullopt;
    const Line::Run& run = line.runs.front();
    return LastingField{"^FT" + std::to_string(run.penXDots) + "," + std::to_string(run.baselineDots) + "^A@N,,," +
                            fonts_[run.font]->name,
                        run.codes};
}

}  // namespace zpl
