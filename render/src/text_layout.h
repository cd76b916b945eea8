// SPDX-License-Identifier: MIT
// Text shaped with pango and fitted into an area: condensed, cut or wrapped so that
// nothing lies outside it.
#pragma once

#include <string>
#include <string_view>

#include <pango/pango.h>

#include "labelformat/label_format.h"
#include "handles.h"
#include "render/layout.h"

namespace render {

class ShapedText {
public:
    explicit ShapedText(GObjectHandle<PangoLayout> layout) : layout_(std::move(layout)) {}
    PangoLayout* layout() const { return layout_.get(); }

private:
    GObjectHandle<PangoLayout> layout_;
};

struct TextStyle {
    std::string family;
    bool bold = false;
    double sizeDots = 0.0;
    labelformat::Align align = labelformat::Align::Left;
    bool wrap = false;
};

// `text` must be valid UTF-8.
TextBlock fitText(PangoContext* context, std::string_view text, const TextStyle& style, const DotRect& area);

// Bytes that are not UTF-8 become U+FFFD.
std::string validUtf8(std::string_view bytes);

}  // namespace render
