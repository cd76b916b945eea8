// SPDX-License-Identifier: MIT
// A label laid out at one resolution: every element placed in whole dots. The paint step
// draws a layout; a printer with commands of its own (native barcodes, resident fonts)
// reads it to put the same things on the same dots.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "labelformat/label_format.h"
#include "render/raster.h"

namespace render {

// Text wider than its box is condensed in steps of 5 % down to half its width, then cut at
// the end: a few steps keep the glyphs a printer is sent few.
inline constexpr double kMinimumCondense = 0.5;
inline constexpr double kCondenseStep = 0.05;

struct DotPoint {
    int xDots = 0;
    int yDots = 0;
    bool operator==(const DotPoint&) const = default;
};

// x grows to the right, y downwards.
struct DotRect {
    int xDots = 0;
    int yDots = 0;
    int widthDots = 0;
    int heightDots = 0;
    int rightDots() const { return xDots + widthDots; }
    int bottomDots() const { return yDots + heightDots; }
    bool operator==(const DotRect&) const = default;
};

// Millimetres on the label to dots, rounded to the nearest dot.
int mmToDots(double mm, int dotsPerInch);
// The dots between the rounded edges, so rectangles that touch in mm touch in dots.
DotRect rectInDots(double xMm, double yMm, double widthMm, double heightMm, int dotsPerInch);

// A field's box on the label and the rotation, clockwise, that turns its content inside
// it. Content coordinates start at the content's own top-left corner and run along its
// lines: at 90 degrees the content's x runs down the label and its top faces right.
struct Placement {
    DotRect box;
    int rotationDeg = 0;

    int contentWidthDots() const;   // the box's width, or its height at 90 and 270
    int contentHeightDots() const;
    // The dots on the label that a rectangle in content coordinates covers.
    DotRect toLabel(const DotRect& content) const;
};

class ShapedText;  // the renderer's shaped glyphs, used by the paint step

// One glyph of one font at one size and condensing, as its dots: drawn once at a whole-dot
// origin, so that it is the same dots wherever it stands and whoever draws it (the renderer's
// pictures, a printer that holds the glyphs as a font of its own).
struct GlyphImage {
    std::string face;         // the font, its size and the condensing: one printer font
    std::uint32_t glyph = 0;  // the glyph's number in its font
    Raster dots;              // its ink, cut to the black dots (0 × 0 for a blank)
    int leftDots = 0;         // from the glyph's origin to the left column of `dots`
    int topDots = 0;          // from the baseline to the top row of `dots` (negative: above it)
    int advanceDots = 0;      // from this glyph's origin to the next one's
};

struct PlacedGlyph {
    std::shared_ptr<const GlyphImage> image;
    int xDots = 0;         // the glyph's origin, in content coordinates
    int baselineDots = 0;
};

struct TextLine {
    std::string text;  // the characters of this line (when clipped, more than are shown)
    std::string shownText;  // what it shows: `text`, or when cut, the characters kept and "…"
    int xDots = 0;     // left end, after condensing, in content coordinates
    int baselineDots = 0;
    int widthDots = 0;  // after condensing: the sum of its glyphs' advances
    // Every glyph on a whole dot, each one's origin its predecessor's plus its advance: the
    // paint step draws these, and nothing else, of the line.
    std::vector<PlacedGlyph> glyphs;
};

// Text fitted into an area: centred vertically, aligned horizontally, condensed and cut
// so that nothing of it lies outside the area.
struct TextBlock {
    DotRect area;  // content coordinates; painting clips to it
    std::string fontFamily;
    bool bold = false;
    double fontSizeDots = 0.0;  // the em before condensing
    double condense = 1.0;      // horizontal scale of the glyphs: a step of kCondenseStep, kMinimumCondense..1
    labelformat::Align align = labelformat::Align::Left;  // where each line sits in the area's width
    bool clipped = false;       // the end did not fit and is shown as "…"
    bool asciiOnly = true;      // printable ASCII only: a printer's resident font can show it
    int unknownGlyphs = 0;      // characters the font has no glyph for
    bool inkOutside = false;    // some glyph's ink reaches past the area: painting cuts it there
    std::vector<TextLine> lines;
    DotPoint origin;  // where the shaped text's top-left corner goes, in content coordinates
    std::shared_ptr<const ShapedText> shaped;  // empty for empty text
};

struct TextElement {
    std::int16_t fieldNumber = 0;
    Placement placement;
    bool atDefault = false;  // the field shows its format's default text (a caption)
    std::string text;        // the field's text, valid UTF-8
    TextBlock block;         // in the content area (0, 0, content width, content height)
};

// A barcode's symbol as libzint encodes it: the same at every resolution.
struct EncodedSymbol {
    labelformat::Symbology symbology = labelformat::Symbology::Code128;
    std::string data;           // what a scanner reads: check digits added, NW7 start/stop letters
    std::string humanReadable;  // the text printed under linear symbols
    int columns = 0;            // modules across
    int rows = 0;               // 1 for linear symbols
    std::vector<std::uint8_t> dark;  // rows × columns, 1 for a dark module
    int quietLeftModules = 0;
    int quietRightModules = 0;
    int quietTopModules = 0;  // matrix symbols only
    int wideToNarrow = 1;     // CODE39, NW7 and ITF14: the wide element in modules

    bool isMatrix() const { return labelformat::Symbology::Qr == symbology; }
    bool isDark(int column, int row = 0) const {
        return dark[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                    static_cast<std::size_t>(column)] != 0;
    }
};

struct BarcodeElement {
    std::int16_t fieldNumber = 0;
    Placement placement;
    bool atDefault = false;
    std::shared_ptr<const EncodedSymbol> symbol;
    // Content coordinates. Every module is moduleDots wide (and high, for matrix symbols).
    int moduleDots = 1;
    DotRect quietZoneRect;  // the symbol with its quiet zones
    DotRect symbolRect;     // first to last bar; its height is the bars' height
    int guardExtraDots = 0;              // EAN guard bars reach this far below the others
    std::vector<DotRect> darkRects;      // every bar (or run of dark modules), guards included
    std::vector<TextBlock> textBlocks;   // the human-readable text, in pieces for EAN
};

// Lines, boxes and images of the format, in dots on the label.
struct StaticDrawing {
    labelformat::StaticType type = labelformat::StaticType::Line;
    DotRect rect;  // boxes, images, and lines along an axis: the dots they cover
    int lineWidthDots = 1;
    bool fill = false;
    bool slanted = false;  // a line along neither axis, drawn from `from` to `to`
    DotPoint from;
    DotPoint to;
    std::shared_ptr<const Raster> image;  // images: thresholded and scaled to `rect`
};

struct LabelLayout {
    int dotsPerInch = 0;
    double widthMm = 0.0;
    double heightMm = 0.0;
    int widthDots = 0;
    int heightDots = 0;
    std::vector<StaticDrawing> statics;
    std::vector<TextElement> texts;        // in format order
    std::vector<BarcodeElement> barcodes;  // in format order

    const TextElement* findText(std::int16_t fieldNumber) const;  // nullptr when none
    const BarcodeElement* findBarcode(std::int16_t fieldNumber) const;
    double pageWidthPt() const { return widthMm * 72.0 / 25.4; }
    double pageHeightPt() const { return heightMm * 72.0 / 25.4; }
};

enum class Layer {
    All,
    Fixed,     // static elements and fields that show their default text (captions)
    Variable,  // every other field
};

struct PaintOptions {
    Layer layer = Layer::All;
    bool grid = false;  // outline every field's box and write its number, for format authors
};

}  // namespace render
