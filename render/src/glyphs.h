// SPDX-License-Identifier: MIT
// Glyphs drawn one at a time, each on a whole dot: a line of text is its glyphs' dots put side
// by side, so the renderer's picture, a PDF (the same positions, as outlines) and a printer
// that holds the glyphs as a font of its own cannot differ.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <cairo.h>
#include <pango/pango.h>

#include "render/layout.h"

namespace render {

// A glyph as the PDF draws it: its font's outline at the same origin as its dots.
struct OutlineGlyph {
    PangoFont* font = nullptr;  // held by the shaped text's layout
    PangoGlyph glyph = 0;
    int xDots = 0;
    int baselineDots = 0;
};

// Every glyph drawn so far, by its face, number and advance: the same object each time, so
// that a glyph's dots are drawn once per font session.
class GlyphCache {
public:
    std::shared_ptr<const GlyphImage> image(PangoFont* font, const std::string& face, PangoGlyph glyph, double condense,
                                            int advanceDots);

private:
    // Beyond this many glyphs the cache starts again: a job's labels hold what they use.
    static constexpr std::size_t kMostGlyphs = 20000;
    std::unordered_map<std::string, std::shared_ptr<const GlyphImage>> images_;
};

// The cache that belongs to a font session's context (made with it, freed with it).
GlyphCache& glyphCacheOf(PangoContext* context);
void attachGlyphCache(PangoContext* context);

// The face of a run's font at a condensing: "Noto Sans CJK JP Bold 37.083px@85".
std::string faceOf(PangoFont* font, double condense);

// One glyph's dots on a cairo context whose units are dots: a mask at whole dots.
void paintGlyphDots(cairo_t* cr, const PlacedGlyph& glyph);
// One glyph's outline at the same place, for vector output.
void paintGlyphOutline(cairo_t* cr, const OutlineGlyph& glyph, double condense);

}  // namespace render
