// SPDX-License-Identifier: MIT
// Text shaped with pango and fitted into an area: condensed, cut or wrapped so that
// nothing lies outside it.
#pragma once

#include <string>
#include <string_view>

#include <pango/pango.h>

#include <vector>

#include "labelformat/label_format.h"
#include "glyphs.h"
#include "handles.h"
#include "render/layout.h"

namespace render {

// The shaped layout, which holds the fonts, and its glyphs at their whole-dot places.
class ShapedText {
public:
    ShapedText(GObjectHandle<PangoLayout> layout, std::vector<OutlineGlyph> outlines)
        : layout_(std::move(layout)), outlines_(std::move(outlines)) {}
    PangoLayout* layout() const { return layout_.get(); }
    const std::vector<OutlineGlyph>& outlines() const { return outlines_; }

private:
    GObjectHandle<PangoLayout> layout_;
    std::vector<OutlineGlyph> outlines_;
};

struct TextStyle {
    std::string family;
    bool bold = false;
    double sizeDots = 0.0;
    labelformat::Align align = labelformat::Align::Left;
    bool wrap = false;
};

// `text` must be valid UTF-8. Every glyph is placed on a whole dot, and the condensing and the
// cut are chosen by the lines' widths in whole dots.
TextBlock fitText(PangoContext* context, std::string_view text, const TextStyle& style, const DotRect& area);

// Bytes that are not UTF-8 become U+FFFD.
std::string validUtf8(std::string_view bytes);

}  // namespace render
