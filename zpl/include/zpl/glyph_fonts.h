// SPDX-License-Identifier: MIT
// Text as text, in the renderer's own glyphs: the job's glyphs go to the printer as bitmap
// fonts (~DB), each glyph once, and lines are typeset in them (^A@ with the font's name and
// a byte a glyph), glyph for glyph on the dots where the renderer draws them.
//
// A font holds glyphs of one face (font, size and condensing) first shown on one label: a
// printer takes a bitmap font whole, so a font cannot grow, and the glyphs a later label
// brings make a font of their own. A line whose glyphs lie in several fonts is typeset as
// several fields, each going on where the one before ended (^FT without a position). Once
// those extra fields have cost a face as much as downloading its glyphs again would, the
// face's glyphs go again as few fonts, the most used first (rent, then buy): from then on
// its lines are mostly one field in a font that stays.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/layout.h"
#include "zpl/graphics.h"

namespace zpl {

class GlyphFonts {
public:
    // A font takes a glyph for each of these bytes: printable ASCII but the command prefix "^"
    // and "~", so that field data needs no escapes (^CI28 reads them as themselves).
    static constexpr std::size_t kGlyphsPerFont = 92;

    // A line placed on the label, its glyphs typeset in the job's fonts.
    struct Line {
        struct Run {
            std::size_t font = 0;  // in the job's fonts
            std::string codes;     // a byte a glyph
            int penXDots = 0;      // where the font's pen starts on the label
            int baselineDots = 0;
            bool goesOn = false;   // starts where the run before ended: ^FT without a position
        };
        std::vector<Run> runs;
    };

    GlyphFonts(GraphicCompression compression, std::string namePrefix);
    ~GlyphFonts();

    // How many of the line's glyphs the printer lacks.
    std::size_t missing(const std::vector<render::PlacedGlyph>& glyphs) const;
    // The line's glyphs given codes, those the printer lacks in this label's new fonts.
    // Upright lines only: `xDots`, `yDots` move its glyphs from content to label
    // coordinates. Nothing when a glyph's ink begins left of its origin (a font's offsets
    // are not negative) or a field would begin off the label.
    std::optional<Line> typeset(const std::vector<render::PlacedGlyph>& glyphs, int xDots, int yDots);
    // The ~DB downloads of the fonts this label made, which must reach the printer before
    // its format; from then on `fields` can write the label's lines.
    std::string takeDownloads();
    std::string fields(const Line& line) const;
    // A line's single field as the parts a stored format holds: "^FTx,y^A@N,,,NAME.FNT"
    // before ^FN, and the data. Nothing unless the line is one field in a font gathered from
    // its face's fragments, which stays as long as the job.
    struct LastingField {
        std::string placeAndFont;
        std::string data;
    };
    std::optional<LastingField> lastingField(const Line& line) const;
    std::size_t fontCount() const;
    std::size_t storedBytes() const { return storedBytes_; }  // as the printer holds the glyphs, a bit a dot

private:
    struct Font;
    struct GlyphPlace {
        std::size_t font = 0;
        char code = 0;
        std::size_t uses = 0;
    };
    struct Face {
        std::vector<std::string> glyphs;  // by key, in the order they came
        std::size_t priceBytes = 0;       // their downloads
        std::size_t wasteBytes = 0;       // fields its lines took because their glyphs lay in several fonts
    };

    GlyphPlace& place(const render::GlyphImage& glyph);
    std::size_t newFont(const std::string& face, bool lasting);
    void gather(const std::string& face);

    GraphicCompression compression_;
    std::string namePrefix_;
    std::vector<std::unique_ptr<Font>> fonts_;
    std::map<std::string, GlyphPlace> places_;       // by glyph
    std::map<std::string, std::shared_ptr<const render::GlyphImage>> images_;  // by glyph
    std::map<std::string, Face> faces_;
    std::map<std::string, std::size_t> openFonts_;   // this label's new font of each face
    std::size_t downloadedFonts_ = 0;                // fonts_[0, downloadedFonts_) are in the printer
    std::size_t storedBytes_ = 0;
};

}  // namespace zpl
