// SPDX-License-Identifier: MIT
// What a ZPL printer is sent for each Issue, from the renderer's layout of the label, so that
// it prints the renderer's picture dot for dot:
//   - text in the renderer's own glyphs, downloaded once a job as bitmap fonts of the printer
//     (zpl/glyph_fonts.h) and typeset on the renderer's dots; a line whose new glyphs cost
//     more than its picture, or that cannot be typeset (turned, cut at its box), as a picture;
//   - barcodes as the printer's own barcode commands, bar for bar as the renderer draws them;
//   - what does not change between labels (static elements and captions) stored in the
//     printer once a job as a graphic, and with the barcodes' commands as a stored format
//     (^DF) that each label recalls (^XF) with its barcodes' data (^FN).
// With a Japanese font named in the printer's entry, text goes in the printer's fonts
// instead (printable ASCII in the resident font, Japanese in that font), as before glyphs were
// downloaded: fewer bytes, but the printer's glyphs, not the renderer's.
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
    // A Japanese scalable font in the printer ("E:NAME.TTF"): text goes as the printer's
    // fonts draw it (printable ASCII in the resident font, the rest in this font where it
    // covers it), as it did before the printer was sent the renderer's glyphs. Empty: every
    // text exactly as the renderer draws it.
    std::string japaneseFont{};
    // Text in the renderer's glyphs downloaded as bitmap fonts; false (a printer with little
    // memory): as pictures of its lines.
    bool glyphFonts = true;
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
