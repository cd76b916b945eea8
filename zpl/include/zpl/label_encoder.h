// SPDX-License-Identifier: MIT
// What a ZPL printer is sent for each Issue, from the renderer's layout of the label:
//   - barcodes as the printer's own barcode commands, bar for bar as the renderer draws them,
//     their human-readable text where the renderer puts it;
//   - text the resident font has (printable ASCII) in that font, on the renderer's baseline
//     and in its line's width;
//   - on a printer that holds a Japanese font named in its entry, text that font covers in
//     it, placed and sized as the resident font's lines;
//   - everything else (Japanese text) as the renderer's 1-bit graphics of that field;
//   - what does not change between labels (static elements and captions) stored in the
//     printer once a job and recalled, as are graphics of field texts that repeat.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "render/label_renderer.h"
#include "zpl/graphics.h"

namespace zpl {

struct EncoderSettings {
    int dotsPerInch = 203;
    GraphicCompression compression = GraphicCompression::Z64;
    bool printerHasCutter = false;
    // A Japanese scalable font in the printer ("E:NAME.TTF"), for text lines it covers;
    // empty: such text goes as graphics, which look exactly as the renderer draws them.
    std::string japaneseFont{};
};

// One Issue: the label the renderer lays out from its content, its copies and whether it
// is cut after the last of them.
struct IssueToEncode {
    render::LabelRenderer& renderer;
    const render::LabelContent& content;
    int copies = 1;
    bool cut = false;
};

// One encoder lives for one job, from OpenPort to ClosePort, so that it can store
// graphics in the printer once and recall them on every label.
class LabelEncoder {
public:
    virtual ~LabelEncoder() = default;

    // Everything one Issue sends: downloads first, then one format with the Issue's
    // copies and cut. Exactly one format per Issue: the printer counts labels by formats.
    virtual std::string encodeIssue(const IssueToEncode& issue) = 0;
    // What the end of the job sends: the deletion of graphics it stored (may be empty).
    virtual std::string endOfJob() = 0;
};

std::unique_ptr<LabelEncoder> makeLabelEncoder(EncoderSettings settings);

// The resident font's character height and width (^A0) for a line of printable ASCII that
// the renderer set `lineWidthDots` wide with an em of `emDots`: the height is the em, the
// width makes the line about as wide (the font's own widths are estimated; a line comes out
// a little short rather than long). Nothing when either is outside the font's 10 dots and
// more.
struct FontSize {
    int heightDots = 0;
    int widthDots = 0;
};
std::optional<FontSize> residentFontSize(std::string_view line, double emDots, int lineWidthDots);
// The same for a line of UTF-8 in a Japanese scalable font (^A@): full-width characters one
// em wide at a width equal to the height, half-width katakana half an em, ASCII as estimated
// above.
std::optional<FontSize> japaneseFontSize(std::string_view line, double emDots, int lineWidthDots);

}  // namespace zpl
