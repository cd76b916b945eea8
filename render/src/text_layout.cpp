// SPDX-License-Identifier: MIT
#include "text_layout.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "font_session.h"

namespace render {
namespace {

constexpr int kCondenseSteps = 10;  // from 1 down to kMinimumCondense in kCondenseStep
constexpr int kMostWidthAttempts = 16;
// Pango measures in 32-bit units of 1/1024 dot: a text laid out whole past about two
// million dots overflows them, and its glyphs land anywhere. A long text is therefore laid
// out a piece at a time, no piece longer than this even if every character were two ems
// wide, and only as much of it as a box could show.
constexpr double kLongestPieceDots = 1'000'000.0;
constexpr double kNarrowestCharacterEms = 0.1;  // for guessing how much text fills a box
constexpr double kSmallestLineHeightEms = 0.5;  // no font sets its lines closer
// A field's text is laid out from its first MiB at most: no label shows as much.
constexpr std::size_t kMostLaidOutBytes = 1024 * 1024;
constexpr std::string_view kEllipsis = "…";

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

// The first kMostLaidOutBytes of a valid UTF-8 text, cut at a character and ending in "…".
std::string boundedText(std::string_view text) {
    if (text.size() <= kMostLaidOutBytes) return std::string(text);
    std::size_t end = kMostLaidOutBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) --end;
    return std::string(text.substr(0, end)).append(kEllipsis);
}

// The first `count` characters of a valid UTF-8 text (all of it when shorter), never
// ending between the CR and the LF of one line break.
std::string_view leadingCharacters(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size() && seen < count; ++seen) {
        end += static_cast<std::size_t>(g_utf8_skip[static_cast<unsigned char>(text[end])]);
    }
    end = std::min(end, text.size());
    if (end > 0 && end < text.size() && text[end - 1] == '\r' && text[end] == '\n') ++end;
    return text.substr(0, end);
}

// As many characters as one piece of text may have in this style.
std::size_t pieceCharacters(const TextStyle& style) {
    return static_cast<std::size_t>(std::max(16.0, kLongestPieceDots / (2.0 * std::max(style.sizeDots, 1.0))));
}

// A paragraph's own line break at the end of a line's text is no part of what it shows.
std::string_view withoutLineBreak(std::string_view text) {
    for (const std::string_view lineBreak : {"\r\n", "\n", "\r", "\u2029"}) {
        if (text.ends_with(lineBreak)) return text.substr(0, text.size() - lineBreak.size());
    }
    return text;
}

GObjectHandle<PangoLayout> newLayout(PangoContext* context, std::string_view text, const TextStyle& style) {
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

// Pango widens the "…" that ends a cut line by what the characters it took left over; it is
// set at its own advance instead, so that a line aligned right or centred ends on its ink.
int ownAdvanceDots(PangoFont* font, const PangoGlyphInfo& glyph, double condense) {
    PangoRectangle logical{};
    pango_font_get_glyph_extents(font, glyph.glyph, nullptr, &logical);
    return static_cast<int>(std::lround(toDots(logical.width) * condense));
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

// A layout, what it holds and how it was fitted into its area.
struct FittedText {
    GObjectHandle<PangoLayout> layout;
    std::string text;
    double condense = 1.0;
    bool cut = false;
    std::string lastLineText;  // when cut: the characters of the last line, more than it shows
};

// Condensed to fit, in steps down to the minimum; what is still too wide is cut with "…". Of
// a long text only a piece is laid out, longer than any line shows.
FittedText fitOneLine(PangoContext* context, std::string_view text, const TextStyle& style, int areaWidthDots) {
    const std::string_view piece = leadingCharacters(text, pieceCharacters(style));
    const bool shortened = piece.size() < text.size();
    FittedText fitted;
    // A piece is always far wider than any box, so pango cuts it with its own "…".
    fitted.text = std::string(piece);
    if (shortened) fitted.lastLineText = std::string(piece);
    fitted.layout = newLayout(context, fitted.text, style);
    PangoLayout* layout = fitted.layout.get();
    fitted.condense = 0.0;
    for (int step = 0; step <= kCondenseSteps && fitted.condense == 0.0; ++step) {
        const double condense = 1.0 - step * kCondenseStep;
        if (widestLineDots(layout, condense) <= areaWidthDots) fitted.condense = condense;
    }
    if (fitted.condense == 0.0) {
        fitted.condense = kMinimumCondense;
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        keepWithin(layout, areaWidthDots, kMinimumCondense);
    }
    fitted.cut = shortened || pango_layout_is_ellipsized(layout) != 0;
    return fitted;
}

PangoAlignment pangoAlignment(labelformat::Align align) {
    switch (align) {
        case labelformat::Align::Center: return PANGO_ALIGN_CENTER;
        case labelformat::Align::Right: return PANGO_ALIGN_RIGHT;
        case labelformat::Align::Left: break;
    }
    return PANGO_ALIGN_LEFT;
}

GObjectHandle<PangoLayout> wrappedLayout(PangoContext* context, std::string_view text, const TextStyle& style,
                                         double widthDots) {
    GObjectHandle<PangoLayout> layout = newLayout(context, text, style);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout.get(), pangoAlignment(style.align));
    pango_layout_set_width(layout.get(), toPango(widthDots));
    return layout;
}

struct WrappedLine {
    std::size_t start = 0;        // in bytes of the text
    bool paragraphStart = false;  // the text's first line, or the first after one of its line breaks
    double heightDots = 0.0;
};

// The first `mostLines` lines a text breaks into at a width, found a piece of text at a
// time: the last line of a piece may go on in the next, so the next piece starts there.
std::vector<WrappedLine> wrappedLines(PangoContext* context, std::string_view text, const TextStyle& style,
                                      double widthDots, std::size_t mostLines) {
    const double lineCharacters = widthDots / (kNarrowestCharacterEms * std::max(style.sizeDots, 1.0)) + 1.0;
    const std::size_t pieceLength =
        std::min(pieceCharacters(style), static_cast<std::size_t>(std::min(lineCharacters * static_cast<double>(mostLines + 1), 1e9)));
    std::vector<WrappedLine> lines;
    std::size_t from = 0;
    bool paragraphStart = true;
    while (from < text.size() && lines.size() < mostLines) {
        const std::string_view piece = leadingCharacters(text.substr(from), pieceLength);
        const bool lastPiece = from + piece.size() == text.size();
        const GObjectHandle<PangoLayout> layout = wrappedLayout(context, piece, style, widthDots);
        const GSList* pieceLines = pango_layout_get_lines_readonly(layout.get());
        const guint count = g_slist_length(const_cast<GSList*>(pieceLines));
        std::size_t next = from + piece.size();
        bool nextParagraphStart = false;
        guint index = 0;
        for (const GSList* item = pieceLines; item != nullptr && lines.size() < mostLines; item = item->next, ++index) {
            const auto* line = static_cast<const PangoLayoutLine*>(item->data);
            const bool startsParagraph = index == 0 ? paragraphStart : line->is_paragraph_start != 0;
            if (!lastPiece && count > 1 && index + 1 == count) {  // may go on in the next piece
                next = from + static_cast<std::size_t>(line->start_index);
                nextParagraphStart = startsParagraph;
                break;
            }
            PangoRectangle logical{};
            pango_layout_line_get_extents(const_cast<PangoLayoutLine*>(line), nullptr, &logical);
            lines.push_back({from + static_cast<std::size_t>(line->start_index), startsParagraph, toDots(logical.height)});
        }
        from = next;
        paragraphStart = nextParagraphStart;
    }
    return lines;
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

// The last line that fits, cut: its characters (and the next line's, when that goes on in
// the same paragraph) as one line ending in "…", where pango's ellipsis takes its place
// when they are too wide.
std::string lastLineCut(PangoContext* context, std::string_view characters, const TextStyle& style, double widthDots) {
    TextStyle oneLine = style;
    oneLine.wrap = false;
    const std::string withEllipsis = std::string(characters).append(kEllipsis);
    const GObjectHandle<PangoLayout> layout = newLayout(context, withEllipsis, oneLine);
    pango_layout_set_width(layout.get(), toPango(widthDots));
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    return shownText(pango_layout_get_line_readonly(layout.get(), 0), withEllipsis, withEllipsis);
}

// The lines before the last that fits as they are, then that one cut. Pango's own cut of
// a layout's height is not used: it works a paragraph at a time, and lays out all the rest
// of the text as that last line, which for a long text overflows its units.
FittedText cutAfter(PangoContext* context, std::string_view text, const TextStyle& style,
                    const std::vector<WrappedLine>& lines, std::size_t fittingLines, double widthDots) {
    const WrappedLine& last = lines[fittingLines - 1];
    const WrappedLine& next = lines[fittingLines];
    std::size_t end = next.start;
    if (!next.paragraphStart) {
        end = fittingLines + 1 < lines.size() ? lines[fittingLines + 1].start : text.size();
    }
    const std::string_view characters =
        withoutLineBreak(leadingCharacters(text.substr(last.start, end - last.start), pieceCharacters(style)));
    FittedText fitted;
    fitted.text = std::string(text.substr(0, last.start)).append(lastLineCut(context, characters, style, widthDots));
    fitted.layout = wrappedLayout(context, fitted.text, style, widthDots);
    pango_layout_set_height(fitted.layout.get(), -static_cast<int>(fittingLines));  // lines the pieces misjudged
    pango_layout_set_ellipsize(fitted.layout.get(), PANGO_ELLIPSIZE_END);
    fitted.cut = true;
    fitted.lastLineText = std::string(characters);
    return fitted;
}

// Lines break at the area's width; when more lines than fit its height, the glyphs are
// condensed step by step, and at the minimum the last line that fits ends in "…". Only the
// lines up to the first that does not fit are ever laid out, however long the text.
FittedText fitWrapped(PangoContext* context, std::string_view text, const TextStyle& style, const DotRect& area) {
    const auto enoughLines = static_cast<std::size_t>(area.heightDots / (kSmallestLineHeightEms * std::max(style.sizeDots, 1.0))) + 2;
    std::vector<WrappedLine> lines = wrappedLines(context, text, style, area.widthDots, enoughLines);
    double totalHeight = 0.0;
    for (const WrappedLine& line : lines) totalHeight += line.heightDots;
    const double lineHeight = totalHeight / static_cast<double>(std::max<std::size_t>(lines.size(), 1));
    const std::size_t fittingLines =
        lineHeight > 0.0 ? std::max<std::size_t>(1, static_cast<std::size_t>(std::floor(area.heightDots / lineHeight))) : 1;
    double condense = 1.0;
    while (lines.size() > fittingLines && condense > kMinimumCondense + 1e-9) {
        condense = std::max(condense - kCondenseStep, kMinimumCondense);
        lines = wrappedLines(context, text, style, area.widthDots / condense, fittingLines + 2);
    }
    FittedText fitted;
    if (lines.size() > fittingLines) {
        fitted = cutAfter(context, text, style, lines, fittingLines, area.widthDots / condense);
    } else {
        fitted.layout = wrappedLayout(context, text, style, area.widthDots / condense);
        fitted.text = std::string(text);
    }
    fitted.condense = condense;
    // Every line within the area in whole dots; a line that this pushes past the last that
    // fits is cut there.
    PangoLayout* layout = fitted.layout.get();
    keepWithin(layout, area.widthDots, condense);
    if (pango_layout_get_line_count(layout) > static_cast<int>(fittingLines)) {
        pango_layout_set_height(layout, -static_cast<int>(fittingLines));
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        keepWithin(layout, area.widthDots, condense);
        fitted.cut = true;
    }
    return fitted;
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
        const bool isEllipsis = (glyphItem->item->analysis.flags & PANGO_ANALYSIS_FLAG_IS_ELLIPSIS) != 0;
        for (int i = 0; i < glyphItem->glyphs->num_glyphs; ++i) {
            const PangoGlyphInfo& info = glyphItem->glyphs->glyphs[i];
            const int advance = isEllipsis ? ownAdvanceDots(font, info, condense) : advanceDots(info, condense);
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
    const std::string shown = style.wrap ? boundedText(text) : withoutControlCharacters(boundedText(text));
    FittedText fitted = style.wrap ? fitWrapped(context, shown, style, area) : fitOneLine(context, shown, style, area.widthDots);
    PangoLayout* layout = fitted.layout.get();
    block.unknownGlyphs = pango_layout_get_unknown_glyphs_count(layout);
    block.condense = fitted.condense;
    block.clipped = fitted.cut || text.size() > kMostLaidOutBytes;
    const PangoRectangle logical = logicalExtents(layout);
    block.origin = {area.xDots, area.yDots + static_cast<int>(std::lround((area.heightDots - toDots(logical.height)) / 2))};
    std::vector<OutlineGlyph> outlines = describeLines(layout, fitted.text, glyphCacheOf(context), block);
    if (!style.wrap && !block.lines.empty()) block.origin.xDots = block.lines.front().xDots;
    if (!fitted.lastLineText.empty() && !block.lines.empty()) block.lines.back().text = std::move(fitted.lastLineText);
    block.shaped = std::make_shared<const ShapedText>(std::move(fitted.layout), std::move(outlines));
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
