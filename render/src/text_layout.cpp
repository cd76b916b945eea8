// SPDX-License-Identifier: MIT
#include "text_layout.h"

#include <algorithm>
#include <cmath>

#include "font_session.h"

namespace render {
namespace {

constexpr int kCondenseSteps = 10;  // from 1 down to kMinimumCondense in kCondenseStep
constexpr int kMostWidthAttempts = 16;

double toDots(int pangoUnits) { return static_cast<double>(pangoUnits) / PANGO_SCALE; }
int toPango(double dots) { return static_cast<int>(std::floor(dots * PANGO_SCALE)); }

// One line of text shows line breaks and tabs as spaces; pango would draw boxes for them.
std::string withoutControlCharacters(std::string_view text) {
    std::string shown(text);
    std::replace_if(shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return shown;
}

bool isPrintableAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

GObjectHandle<PangoLayout> newLayout(PangoContext* context, const std::string& text, const TextStyle& style) {
    GObjectHandle<PangoLayout> layout(pango_layout_new(context));
    FontDescriptionHandle description(pango_font_description_new());
    pango_font_description_set_family(description.get(), style.family.empty() ? kDefaultFontFamily : style.family.c_str());
    pango_font_description_set_weight(description.get(), style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(description.get(), style.sizeDots * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), description.get());
    pango_layout_set_single_paragraph_mode(layout.get(), style.wrap ? FALSE : TRUE);
    // Without kerning every glyph has one advance wherever it stands: a printer's font can
    // hold it once.
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_font_features_new("kern 0"));
    pango_layout_set_attributes(layout.get(), attributes);
    pango_attr_list_unref(attributes);
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    return layout;
}

// A glyph's advance in whole dots at a condensing: what every destination lays glyphs out by.
int advanceDots(const PangoGlyphInfo& glyph, double condense) {
    return static_cast<int>(std::lround(toDots(glyph.geometry.width) * condense));
}

int lineWidthDots(const PangoLayoutLine* line, double condense) {
    int width = 0;
    for (const GSList* run = line->runs; run != nullptr; run = run->next) {
        const PangoGlyphString* glyphs = static_cast<const PangoGlyphItem*>(run->data)->glyphs;
        for (int i = 0; i < glyphs->num_glyphs; ++i) width += advanceDots(glyphs->glyphs[i], condense);
    }
    return width;
}

int widestLineDots(PangoLayout* layout, double condense) {
    int widest = 0;
    for (const GSList* line = pango_layout_get_lines_readonly(layout); line != nullptr; line = line->next) {
        widest = std::max(widest, lineWidthDots(static_cast<const PangoLayoutLine*>(line->data), condense));
    }
    return widest;
}

// The layout's width (where it wraps or cuts) set so that every line fits the area in whole
// dots: pango measures in fractions of a dot, and each glyph's advance is rounded.
void keepWithin(PangoLayout* layout, int areaWidthDots, double condense) {
    int width = toPango(areaWidthDots / condense);
    pango_layout_set_width(layout, width);
    for (int attempt = 0; attempt < kMostWidthAttempts && width > 0; ++attempt) {
        const int excessDots = widestLineDots(layout, condense) - areaWidthDots;
        if (excessDots <= 0) return;
        width -= toPango(excessDots / condense) + 1;
        pango_layout_set_width(layout, std::max(width, 1));
    }
}

PangoRectangle logicalExtents(PangoLayout* layout) {
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    return logical;
}

// Condensed to fit, in steps down to the minimum; what is still too wide is cut with "…".
double fitOneLine(PangoLayout* layout, int areaWidthDots) {
    for (int step = 0; step <= kCondenseSteps; ++step) {
        const double condense = 1.0 - step * kCondenseStep;
        if (widestLineDots(layout, condense) <= areaWidthDots) return condense;
    }
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    keepWithin(layout, areaWidthDots, kMinimumCondense);
    return kMinimumCondense;
}

PangoAlignment pangoAlignment(labelformat::Align align) {
    switch (align) {
        case labelformat::Align::Center: return PANGO_ALIGN_CENTER;
        case labelformat::Align::Right: return PANGO_ALIGN_RIGHT;
        case labelformat::Align::Left: break;
    }
    return PANGO_ALIGN_LEFT;
}

// Lines break at the area's width; when more lines than fit its height, the glyphs are
// condensed step by step, and at the minimum the last line that fits ends in "…".
double fitWrapped(PangoLayout* layout, const TextStyle& style, const DotRect& area) {
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, pangoAlignment(style.align));
    keepWithin(layout, area.widthDots, 1.0);
    const int lineCount = std::max(pango_layout_get_line_count(layout), 1);
    const double lineHeight = toDots(logicalExtents(layout).height) / lineCount;
    const int fittingLines = std::max(1, static_cast<int>(std::floor(area.heightDots / lineHeight)));
    double condense = 1.0;
    while (pango_layout_get_line_count(layout) > fittingLines && condense > kMinimumCondense + 1e-9) {
        condense = std::max(condense - kCondenseStep, kMinimumCondense);
        keepWithin(layout, area.widthDots, condense);
    }
    if (pango_layout_get_line_count(layout) > fittingLines) {
        pango_layout_set_height(layout, -fittingLines);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        keepWithin(layout, area.widthDots, condense);
    }
    return condense;
}

int alignedX(labelformat::Align align, double freeDots) {
    switch (align) {
        case labelformat::Align::Center: return static_cast<int>(std::lround(freeDots / 2));
        case labelformat::Align::Right: return static_cast<int>(std::lround(freeDots));
        case labelformat::Align::Left: break;
    }
    return 0;
}

// The characters a line shows: its own, or where the end was cut, those kept and "…" (the
// ellipsis run stands for the characters it replaces).
std::string shownText(const PangoLayoutLine* line, std::string_view text, const std::string& lineText) {
    std::string shown;
    bool cut = false;
    for (const GSList* run = line->runs; run != nullptr; run = run->next) {
        const PangoItem* item = static_cast<const PangoGlyphItem*>(run->data)->item;
        if ((item->analysis.flags & PANGO_ANALYSIS_FLAG_IS_ELLIPSIS) != 0) {
            shown += "…";
            cut = true;
        } else {
            const auto start = std::min(static_cast<std::size_t>(item->offset), text.size());
            shown += text.substr(start, std::min(static_cast<std::size_t>(item->length), text.size() - start));
        }
    }
    return cut ? shown : lineText;
}

// Each glyph on a whole dot: its origin the one before's plus that one's advance in whole
// dots (shifted by what shaping offsets it, also in whole dots).
void placeGlyphs(const PangoLayoutLine* line, GlyphCache& cache, double condense, TextLine& described,
                 std::vector<OutlineGlyph>& outlines) {
    int pen = 0;
    for (const GSList* run = line->runs; run != nullptr; run = run->next) {
        const auto* glyphItem = static_cast<const PangoGlyphItem*>(run->data);
        PangoFont* font = glyphItem->item->analysis.font;
        const std::string face = faceOf(font, condense);
        for (int i = 0; i < glyphItem->glyphs->num_glyphs; ++i) {
            const PangoGlyphInfo& info = glyphItem->glyphs->glyphs[i];
            const int advance = advanceDots(info, condense);
            if (info.glyph != PANGO_GLYPH_EMPTY) {
                const int x = pen + static_cast<int>(std::lround(toDots(info.geometry.x_offset) * condense));
                const int y = described.baselineDots + static_cast<int>(std::lround(toDots(info.geometry.y_offset)));
                described.glyphs.push_back({cache.image(font, face, info.glyph, condense, advance), x, y});
                outlines.push_back({font, info.glyph, x, y});
            }
            pen += advance;
        }
    }
    described.widthDots = pen;
}

bool inkInside(const PlacedGlyph& glyph, const DotRect& area) {
    const GlyphImage& image = *glyph.image;
    if (image.dots.widthDots == 0) return true;
    const int left = glyph.xDots + image.leftDots;
    const int top = glyph.baselineDots + image.topDots;
    return left >= area.xDots && top >= area.yDots && left + image.dots.widthDots <= area.rightDots() &&
           top + image.dots.heightDots <= area.bottomDots();
}

// The lines with their glyphs, each line aligned in the area by its width in whole dots.
std::vector<OutlineGlyph> describeLines(PangoLayout* layout, std::string_view text, GlyphCache& cache, TextBlock& block) {
    std::vector<OutlineGlyph> outlines;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        const PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        const auto start = static_cast<std::size_t>(line->start_index);
        const std::size_t length = std::min(static_cast<std::size_t>(line->length), text.size() - std::min(start, text.size()));
        std::string lineText(text.substr(std::min(start, text.size()), length));
        std::string shown = shownText(line, text, lineText);
        TextLine described{std::move(lineText), std::move(shown), 0,
                           block.origin.yDots + static_cast<int>(std::lround(toDots(pango_layout_iter_get_baseline(iter)))),
                           0, {}};
        const std::size_t firstOutline = outlines.size();
        placeGlyphs(line, cache, block.condense, described, outlines);
        described.xDots = block.area.xDots + alignedX(block.align, block.area.widthDots - described.widthDots);
        for (PlacedGlyph& glyph : described.glyphs) glyph.xDots += described.xDots;
        for (std::size_t i = firstOutline; i < outlines.size(); ++i) outlines[i].xDots += described.xDots;
        for (const PlacedGlyph& glyph : described.glyphs) block.inkOutside = block.inkOutside || !inkInside(glyph, block.area);
        block.lines.push_back(std::move(described));
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return outlines;
}

}  // namespace

TextBlock fitText(PangoContext* context, std::string_view text, const TextStyle& style, const DotRect& area) {
    TextBlock block;
    block.area = area;
    block.fontFamily = style.family.empty() ? kDefaultFontFamily : style.family;
    block.bold = style.bold;
    block.fontSizeDots = style.sizeDots;
    block.align = style.align;
    block.asciiOnly = isPrintableAscii(text);
    if (text.empty() || area.widthDots <= 0 || area.heightDots <= 0) {
        return block;
    }
    const std::string shown = style.wrap ? std::string(text) : withoutControlCharacters(text);
    GObjectHandle<PangoLayout> layout = newLayout(context, shown, style);
    block.unknownGlyphs = pango_layout_get_unknown_glyphs_count(layout.get());
    block.condense = style.wrap ? fitWrapped(layout.get(), style, area) : fitOneLine(layout.get(), area.widthDots);
    block.clipped = pango_layout_is_ellipsized(layout.get()) != 0;
    const PangoRectangle logical = logicalExtents(layout.get());
    block.origin = {area.xDots, area.yDots + static_cast<int>(std::lround((area.heightDots - toDots(logical.height)) / 2))};
    std::vector<OutlineGlyph> outlines = describeLines(layout.get(), shown, glyphCacheOf(context), block);
    if (!style.wrap && !block.lines.empty()) block.origin.xDots = block.lines.front().xDots;
    block.shaped = std::make_shared<const ShapedText>(std::move(layout), std::move(outlines));
    return block;
}

std::string validUtf8(std::string_view bytes) {
    if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) {
        return std::string(bytes);
    }
    gchar* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    std::string text(valid);
    g_free(valid);
    return text;
}

}  // namespace render
