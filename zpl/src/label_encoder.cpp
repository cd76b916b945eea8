// SPDX-License-Identifier: MIT
#include "zpl/label_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "exact_encoder.h"
#include "label_parts.h"
#include "zpl/barcodes.h"

namespace zpl {
namespace {

using render::DotRect;

// ^A0 takes heights and widths from 10 dots.
constexpr int kSmallestFontDots = 10;
constexpr int kLargestFontDots = 32000;

// Advance widths of printable ASCII (0x20 to 0x7E) in a Helvetica-like bold face, in
// thousandths of its em. The resident font is a condensed bold of that design, whose
// advances come to about 0.86 of these at a width parameter equal to the em; 0.9 keeps
// the estimate on the generous side, so that a line rather ends a little short than runs
// past its place.
constexpr std::array<int, 95> kBoldAdvances{
    278, 333, 474, 556, 556, 889, 722, 238, 333, 333, 389, 584, 278, 333, 278, 278,  // space to /
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 333, 333, 584, 584, 584, 611,  // 0 to ?
    975, 722, 722, 722, 722, 667, 611, 778, 722, 278, 556, 722, 611, 833, 722, 778,  // @ to O
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 333, 278, 333, 584, 556,  // P to _
    333, 556, 611, 556, 611, 556, 333, 611, 611, 278, 278, 556, 278, 889, 611, 611,  // ` to o
    611, 611, 389, 556, 333, 611, 556, 778, 556, 556, 500, 389, 280, 389, 584};      // p to ~
constexpr double kResidentWidthScale = 0.9;
// A Japanese font sets full-width characters one em wide at a width equal to the height,
// and half-width katakana (U+FF61 to U+FF9F) half an em; its ASCII is taken as the bold
// face's above, at its own width.
constexpr int kEm = 1000;
constexpr char32_t kFirstHalfWidthKana = 0xFF61;
constexpr char32_t kLastHalfWidthKana = 0xFF9F;

// The height (the em) and the width that make a line of these advances (in thousandths of
// the em at a width equal to the height) about `lineWidthDots` wide.
std::optional<FontSize> fontSize(double advances, double emDots, int lineWidthDots) {
    if (advances <= 0) return std::nullopt;
    const FontSize size{static_cast<int>(std::lround(emDots)), static_cast<int>(std::floor(lineWidthDots * 1000.0 / advances))};
    const auto fits = [](int dots) { return dots >= kSmallestFontDots && dots <= kLargestFontDots; };
    if (!fits(size.heightDots) || !fits(size.widthDots)) return std::nullopt;
    return size;
}

struct CodePoint {
    char32_t value = 0;
    std::size_t length = 0;  // 0: not a UTF-8 sequence
};

// The code point at the front of UTF-8 text (the renderer's texts are valid UTF-8).
CodePoint nextCodePoint(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || length > text.size()) return {};
    char32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next >> 6) != 0x2) return {};
        value = (value << 6) | (next & 0x3Fu);
    }
    return {value, length};
}

char justification(labelformat::Align align) {
    switch (align) {
        case labelformat::Align::Center: return 'C';
        case labelformat::Align::Right: return 'R';
        case labelformat::Align::Left: break;
    }
    return 'L';
}

bool onlySpaces(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// Which font a block's lines go in: the resident one, or a Japanese font in the printer.
struct LineFont {
    std::string name;  // empty: the resident font
    std::optional<FontSize> (*size)(std::string_view line, double emDots, int lineWidthDots) = residentFontSize;
};

// Whether the font can show the block as the renderer does. The resident font has printable
// ASCII only, and a line cut with "…" is not ASCII. A Japanese font covers Shift JIS and
// takes a cut line as the renderer shows it; ASCII-only blocks stay with the resident font.
bool fontShows(const LineFont& font, const render::TextBlock& block) {
    if (block.lines.empty()) return false;
    if (font.name.empty()) return block.asciiOnly && !block.clipped;
    return !block.asciiOnly && std::all_of(block.lines.begin(), block.lines.end(), [](const render::TextLine& line) {
        return shiftJisCovers(line.shownText);
    });
}

// The lines of a text block in a font of the printer: each on the renderer's baseline, from
// the renderer's line start; centred and right-aligned lines in a one-line block as wide as
// the renderer's area, so that the printer centres or ends them where the renderer does.
// Nothing when the font cannot show the block as the renderer does: characters it lacks,
// sizes below its smallest, or a backslash, which ^FB reads as an escape.
std::optional<std::string> textFields(const render::Placement& placement, const render::TextBlock& block,
                                      const LineFont& font) {
    if (!fontShows(font, block)) return std::nullopt;
    const bool inBlock = block.align != labelformat::Align::Left;
    std::string fields;
    for (const render::TextLine& line : block.lines) {
        if (onlySpaces(line.shownText)) continue;
        const auto size = font.size(line.shownText, block.fontSizeDots, line.widthDots);
        if (!size || (inBlock && line.shownText.find('\\') != std::string::npos)) return std::nullopt;
        const DotRect start = placement.toLabel({inBlock ? block.area.xDots : line.xDots, line.baselineDots, 0, 0});
        TextField field;
        field.origin = {start.xDots, start.yDots, true};
        field.rotationDeg = placement.rotationDeg;
        field.heightDots = size->heightDots;
        field.widthDots = size->widthDots;
        field.blockWidthDots = inBlock ? block.area.widthDots : 0;
        field.justification = justification(block.align);
        field.text = line.shownText;
        field.fontName = font.name;
        fields += textField(field);
    }
    return fields;
}

std::optional<std::string> residentText(const render::Placement& placement, const render::TextBlock& block) {
    return textFields(placement, block, LineFont{});
}

class LayoutEncoder final : public LabelEncoder {
public:
    explicit LayoutEncoder(EncoderSettings settings)
        : settings_(settings), store_(settings.compression, jobNamePrefix()) {
        if (!settings_.japaneseFont.empty()) japaneseFont_ = LineFont{settings_.japaneseFont, japaneseFontSize};
    }

    std::string encodeIssue(const IssueToEncode& issue) override {
        const render::LabelLayout layout = issue.renderer.layOut(issue.content, settings_.dotsPerInch);
        std::string downloads;
        std::string fields;
        if (const auto fixed = inked(issue.renderer.paint(layout, {render::Layer::Fixed}))) {
            fields += store_.place(fixed->raster, {fixed->xDots, fixed->yDots, false}, downloads);
        }
        for (const render::TextElement& element : layout.texts) {
            if (element.atDefault || !element.block.shaped) continue;  // a caption, or empty
            auto text = residentText(element.placement, element.block);
            if (!text && japaneseFont_) text = textFields(element.placement, element.block, *japaneseFont_);
            fields += text ? *text : fieldGraphic(issue.renderer, layout, element.fieldNumber, element.placement.box, downloads);
        }
        for (const render::BarcodeElement& element : layout.barcodes) {
            if (element.atDefault || !element.symbol) continue;
            const auto native = nativeBarcode(element, downloads);
            fields += native ? *native : fieldGraphic(issue.renderer, layout, element.fieldNumber, element.placement.box, downloads);
        }
        return downloads + formatStart(layout.widthDots, layout.heightDots) + fields +
               formatEnd(issue.copies, issue.cut, settings_.printerHasCutter);
    }

    std::string endOfJob() override { return store_.deleteAll(); }

private:
    // The barcode as the printer's own command on the renderer's bars, its human-readable
    // text in the resident font where the renderer sets it, and EAN's lengthened guard bars
    // stored. Nothing when any of it cannot be native.
    std::optional<std::string> nativeBarcode(const render::BarcodeElement& element, std::string& downloads) {
        const DotRect bars = element.placement.toLabel(element.symbolRect);
        const BarcodePlacement placement{{bars.xDots, bars.yDots, false}, element.placement.rotationDeg,
                                         element.moduleDots, element.symbolRect.heightDots};
        auto fields = barcodeField(*element.symbol, placement);
        if (!fields) return std::nullopt;
        for (const render::TextBlock& block : element.textBlocks) {
            const auto text = residentText(element.placement, block);
            if (!text) return std::nullopt;
            *fields += *text;
        }
        if (const auto guards = guardBarExtensions(element)) {
            *fields += store_.place(guards->raster, {guards->xDots, guards->yDots, false}, downloads);
        }
        return fields;
    }

    std::string fieldGraphic(render::LabelRenderer& renderer, const render::LabelLayout& layout, std::int16_t fieldNumber,
                             const DotRect& box, std::string& downloads) {
        const auto graphic = inked(renderer.paintField(layout, fieldNumber));
        if (!graphic) return {};
        return store_.placeFieldText(graphic->raster, {box.xDots + graphic->xDots, box.yDots + graphic->yDots, false},
                                     downloads);
    }

    EncoderSettings settings_;
    GraphicStore store_;
    std::optional<LineFont> japaneseFont_;
};

}  // namespace

std::optional<FontSize> residentFontSize(std::string_view line, double emDots, int lineWidthDots) {
    int advances = 0;
    for (const char c : line) {
        if (c < 0x20 || c > 0x7E) return std::nullopt;
        advances += kBoldAdvances[static_cast<std::size_t>(c - 0x20)];
    }
    return fontSize(advances * kResidentWidthScale, emDots, lineWidthDots);
}

std::optional<FontSize> japaneseFontSize(std::string_view line, double emDots, int lineWidthDots) {
    int advances = 0;
    for (std::size_t at = 0; at < line.size();) {
        const auto [codePoint, length] = nextCodePoint(line.substr(at));
        if (length == 0 || codePoint < 0x20 || codePoint == 0x7F) return std::nullopt;
        at += length;
        if (codePoint < 0x7F) {
            advances += kBoldAdvances[codePoint - 0x20];
        } else {
            advances += codePoint >= kFirstHalfWidthKana && codePoint <= kLastHalfWidthKana ? kEm / 2 : kEm;
        }
    }
    return fontSize(advances, emDots, lineWidthDots);
}

std::unique_ptr<LabelEncoder> makeLabelEncoder(EncoderSettings settings) {
    if (settings.japaneseFont.empty()) return makeExactEncoder(settings);
    return std::make_unique<LayoutEncoder>(settings);
}

}  // namespace zpl
