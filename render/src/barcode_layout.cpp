// SPDX-License-Identifier: MIT
#include "barcode_layout.h"

#include <algorithm>
#include <cmath>

#include "text_layout.h"

namespace render {
namespace {

using labelformat::Symbology;

constexpr double kTextModules = 10.0;      // human-readable text is ten modules high...
constexpr double kSmallestTextPt = 6.0;    // ...but never smaller than this
constexpr double kLargestTextPt = 9.0;     // ...nor larger than this
constexpr double kTextBandEms = 1.2;       // room under the bars for one line of it

struct ModuleSpan {
    int first;
    int end;  // one past the last
};

// EAN's guard bars, which reach down between the digits, and the digit groups between them.
struct EanShape {
    std::vector<ModuleSpan> guards;
    std::vector<ModuleSpan> digitGroups;
    std::size_t leadingDigits;  // EAN-13's first digit stands before the bars
};

EanShape eanShapeOf(Symbology symbology) {
    if (symbology == Symbology::Ean13) {
        return {{{0, 3}, {45, 50}, {92, 95}}, {{3, 45}, {50, 92}}, 1};
    }
    return {{{0, 3}, {31, 36}, {64, 67}}, {{3, 31}, {36, 64}}, 0};
}

bool isEan(Symbology symbology) { return symbology == Symbology::Ean13 || symbology == Symbology::Ean8; }

int alignedOffset(labelformat::Align align, int freeDots) {
    if (freeDots <= 0) return 0;
    switch (align) {
        case labelformat::Align::Center: return freeDots / 2;
        case labelformat::Align::Right: return freeDots;
        case labelformat::Align::Left: break;
    }
    return 0;
}

bool inAnyGuard(const EanShape& shape, int column) {
    return std::any_of(shape.guards.begin(), shape.guards.end(),
                       [column](const ModuleSpan& guard) { return column >= guard.first && column < guard.end; });
}

// Each run of dark modules of a row becomes one rectangle.
void addRowRuns(const EncodedSymbol& symbol, int row, DotRect rowRect, int moduleDots, BarcodeElement& element,
                const EanShape* ean) {
    for (int column = 0; column < symbol.columns;) {
        if (!symbol.isDark(column, row)) {
            ++column;
            continue;
        }
        const int first = column;
        while (column < symbol.columns && symbol.isDark(column, row)) ++column;
        const int extra = ean != nullptr && inAnyGuard(*ean, first) ? element.guardExtraDots : 0;
        element.darkRects.push_back({rowRect.xDots + first * moduleDots, rowRect.yDots, (column - first) * moduleDots,
                                     rowRect.heightDots + extra});
    }
}

TextStyle humanReadableStyle(const labelformat::LabelField& field, int moduleDots, int dotsPerInch, labelformat::Align align) {
    const double smallest = kSmallestTextPt * dotsPerInch / 72.0;
    const double largest = kLargestTextPt * dotsPerInch / 72.0;
    return {field.font.family, field.font.bold, std::clamp(kTextModules * moduleDots, smallest, largest), align, false};
}

void addHumanReadable(BarcodeElement& element, const labelformat::LabelField& field, PangoContext* context,
                      int dotsPerInch, const DotRect& band) {
    const EncodedSymbol& symbol = *element.symbol;
    const int m = element.moduleDots;
    const int x = element.symbolRect.xDots;
    if (!isEan(symbol.symbology)) {
        const TextStyle style = humanReadableStyle(field, m, dotsPerInch, labelformat::Align::Center);
        element.textBlocks.push_back(fitText(context, symbol.humanReadable,
                                             style, {element.quietZoneRect.xDots, band.yDots,
                                                     element.quietZoneRect.widthDots, band.heightDots}));
        return;
    }
    const EanShape shape = eanShapeOf(symbol.symbology);
    const std::string_view digits = symbol.humanReadable;
    if (shape.leadingDigits > 0) {
        const TextStyle style = humanReadableStyle(field, m, dotsPerInch, labelformat::Align::Right);
        const DotRect lead{element.quietZoneRect.xDots, band.yDots, x - element.quietZoneRect.xDots - m, band.heightDots};
        element.textBlocks.push_back(fitText(context, digits.substr(0, shape.leadingDigits), style, lead));
    }
    std::size_t next = shape.leadingDigits;
    const std::size_t perGroup = (digits.size() - shape.leadingDigits) / shape.digitGroups.size();
    for (const ModuleSpan& group : shape.digitGroups) {
        const TextStyle style = humanReadableStyle(field, m, dotsPerInch, labelformat::Align::Center);
        const DotRect area{x + group.first * m, band.yDots, (group.end - group.first) * m, band.heightDots};
        element.textBlocks.push_back(fitText(context, digits.substr(next, perGroup), style, area));
        next += perGroup;
    }
}

void layOutLinear(BarcodeElement& element, const labelformat::LabelField& field, PangoContext* context, int dotsPerInch) {
    const EncodedSymbol& symbol = *element.symbol;
    const int width = element.placement.contentWidthDots();
    const int height = element.placement.contentHeightDots();
    const int modules = symbol.quietLeftModules + symbol.columns + symbol.quietRightModules;
    const int m = std::max(1, width / modules);
    element.moduleDots = m;
    element.quietZoneRect = {alignedOffset(field.align, width - modules * m), 0, modules * m, height};
    const bool showText = field.humanReadable && !symbol.humanReadable.empty();
    const int band = showText ? static_cast<int>(std::lround(
                                    humanReadableStyle(field, m, dotsPerInch, field.align).sizeDots * kTextBandEms))
                              : 0;
    const int barHeight = std::max(height - band, 1);
    element.symbolRect = {element.quietZoneRect.xDots + symbol.quietLeftModules * m, 0, symbol.columns * m, barHeight};
    const bool ean = isEan(symbol.symbology) && showText;
    element.guardExtraDots = ean ? (height - barHeight) / 2 : 0;
    const EanShape shape = eanShapeOf(symbol.symbology);
    addRowRuns(symbol, 0, element.symbolRect, m, element, ean ? &shape : nullptr);
    if (showText) {
        addHumanReadable(element, field, context, dotsPerInch, {0, barHeight, width, height - barHeight});
    }
}

void layOutMatrix(BarcodeElement& element, const labelformat::LabelField& field) {
    const EncodedSymbol& symbol = *element.symbol;
    const int width = element.placement.contentWidthDots();
    const int side = std::min(width, element.placement.contentHeightDots());
    const int modules = symbol.columns + 2 * symbol.quietTopModules;
    const int m = std::max(1, side / modules);
    element.moduleDots = m;
    element.quietZoneRect = {alignedOffset(field.align, width - modules * m), 0, modules * m, modules * m};
    const int quiet = symbol.quietTopModules * m;
    element.symbolRect = {element.quietZoneRect.xDots + quiet, quiet, symbol.columns * m, symbol.rows * m};
    for (int row = 0; row < symbol.rows; ++row) {
        addRowRuns(symbol, row, {element.symbolRect.xDots, element.symbolRect.yDots + row * m, 0, m}, m, element, nullptr);
    }
}

}  // namespace

bool symbolFits(const EncodedSymbol& symbol, int contentWidthDots, int contentHeightDots) {
    if (symbol.isMatrix()) {
        return std::min(contentWidthDots, contentHeightDots) >= symbol.columns + 2 * symbol.quietTopModules;
    }
    return contentWidthDots >= symbol.quietLeftModules + symbol.columns + symbol.quietRightModules;
}

BarcodeElement layOutBarcode(std::shared_ptr<const EncodedSymbol> symbol, const labelformat::LabelField& field,
                             const Placement& placement, PangoContext* context, int dotsPerInch) {
    BarcodeElement element;
    element.fieldNumber = field.number;
    element.placement = placement;
    element.symbol = std::move(symbol);
    if (element.symbol->isMatrix()) {
        layOutMatrix(element, field);
    } else {
        layOutLinear(element, field, context, dotsPerInch);
    }
    return element;
}

}  // namespace render
