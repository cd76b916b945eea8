// SPDX-License-Identifier: MIT
#include "text_layout.h"

#include <algorithm>
#include <cmath>

#include "font_session.h"

namespace render {
namespace {

constexpr double kCondenseStep = 0.05;  // wrapped text is condensed in these steps

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
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    return layout;
}

PangoRectangle logicalExtents(PangoLayout* layout) {
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    return logical;
}

// Condensed to fit, down to the minimum; what is still too wide is cut with "…".
double fitOneLine(PangoLayout* layout, double areaWidthDots) {
    const double naturalWidth = toDots(logicalExtents(layout).width);
    if (naturalWidth <= areaWidthDots) {
        return 1.0;
    }
    const double condense = std::max(areaWidthDots / naturalWidth, kMinimumCondense);
    if (naturalWidth * condense > areaWidthDots) {
        pango_layout_set_width(layout, toPango(areaWidthDots / condense));
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    return condense;
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
    pango_layout_set_width(layout, toPango(area.widthDots));
    const int lineCount = std::max(pango_layout_get_line_count(layout), 1);
    const double lineHeight = toDots(logicalExtents(layout).height) / lineCount;
    const int fittingLines = std::max(1, static_cast<int>(std::floor(area.heightDots / lineHeight)));
    double condense = 1.0;
    while (pango_layout_get_line_count(layout) > fittingLines && condense > kMinimumCondense + 1e-9) {
        condense = std::max(condense - kCondenseStep, kMinimumCondense);
        pango_layout_set_width(layout, toPango(area.widthDots / condense));
    }
    if (pango_layout_get_line_count(layout) > fittingLines) {
        pango_layout_set_height(layout, -fittingLines);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
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

void describeLines(PangoLayout* layout, std::string_view text, TextBlock& block) {
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        const PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        PangoRectangle logical{};
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        const auto start = static_cast<std::size_t>(line->start_index);
        const std::size_t length = std::min(static_cast<std::size_t>(line->length), text.size() - std::min(start, text.size()));
        std::string lineText(text.substr(std::min(start, text.size()), length));
        std::string shown = shownText(line, text, lineText);
        block.lines.push_back(TextLine{
            std::move(lineText), std::move(shown),
            block.origin.xDots + static_cast<int>(std::lround(toDots(logical.x) * block.condense)),
            block.origin.yDots + static_cast<int>(std::lround(toDots(pango_layout_iter_get_baseline(iter)))),
            static_cast<int>(std::lround(toDots(logical.width) * block.condense))});
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
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
    const double usedWidth = style.wrap ? area.widthDots : toDots(logical.width) * block.condense;
    block.origin = {area.xDots + alignedX(style.align, area.widthDots - usedWidth),
                    area.yDots + static_cast<int>(std::lround((area.heightDots - toDots(logical.height)) / 2))};
    describeLines(layout.get(), shown, block);
    block.shaped = std::make_shared<const ShapedText>(std::move(layout));
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
