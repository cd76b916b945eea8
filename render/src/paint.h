// SPDX-License-Identifier: MIT
// The paint step: a layout on a cairo context whose units are the layout's dots, the
// same for 1-bit image surfaces and PDF pages.
#pragma once

#include <cairo.h>

#include "render/layout.h"

namespace render {

// How glyphs are drawn: their dots (pictures, and what a printer is sent), or their outlines
// at the same places (PDF).
enum class GlyphDrawing { Dots, Outlines };

// Static elements first, then the fields, of the layer asked for; black ink only, so
// painting order never hides anything.
void paintLayer(cairo_t* cr, const LabelLayout& layout, Layer layer, GlyphDrawing glyphs = GlyphDrawing::Dots);
void paintText(cairo_t* cr, const TextElement& element, GlyphDrawing glyphs = GlyphDrawing::Dots);
void paintBarcode(cairo_t* cr, const BarcodeElement& element, GlyphDrawing glyphs = GlyphDrawing::Dots);
// Every field's box outlined one dot inside and its number at its top-left corner.
void paintGrid(cairo_t* cr, const LabelLayout& layout);

bool inLayer(Layer layer, bool atDefault);

}  // namespace render
