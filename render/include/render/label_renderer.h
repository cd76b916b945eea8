// SPDX-License-Identifier: MIT
// Draws the labels of one format in three steps:
//   content(values)  the texts of the label and its barcodes encoded: the same at every
//                    resolution, and the only step that can refuse a label (1302);
//   layOut(dpi)      every element placed in whole dots (render/layout.h);
//   paint(layout)    the layout on a 1-bit raster, or on a PDF page (render/pdf.h).
// The renderer keeps what does not change between labels: encoded barcodes and shaped
// texts of unchanged fields, and the fixed part of the label already painted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "labelformat/label_format.h"
#include "labelformat/outcome.h"
#include "render/fonts.h"
#include "render/layout.h"
#include "render/raster.h"

namespace render {

// Barcodes must fit their box with modules one dot wide at this, the lowest resolution
// a label printer prints at; at any higher one they fit too.
inline constexpr int kCheckDotsPerInch = 203;
// The resolutions a destination may ask for.
inline constexpr int kLowestDotsPerInch = 100;
inline constexpr int kHighestDotsPerInch = 1200;
inline constexpr int kDefaultDotsPerInch = 203;

struct FieldContent {
    std::string text;  // valid UTF-8: bytes that are not become U+FFFD
    bool atDefault = false;
    std::shared_ptr<const EncodedSymbol> symbol;  // barcode fields with text
};

// In the order of the format's fields.
struct LabelContent {
    std::vector<FieldContent> fields;
};

class LabelRenderer {
public:
    // 1300 when an image of the format cannot be read as a PNG file.
    static labelformat::Outcome<LabelRenderer> create(const labelformat::LabelFormat& format, std::shared_ptr<Fonts> fonts);

    LabelRenderer(LabelRenderer&&) noexcept;
    LabelRenderer& operator=(LabelRenderer&&) noexcept;
    ~LabelRenderer();

    const labelformat::LabelFormat& format() const;

    // 1302 when a barcode cannot encode its field's text (letters in a JAN, a wrong check
    // digit, too long...) or does not fit its box; `why`, when given, says which and why.
    // An empty barcode field draws nothing.
    labelformat::Outcome<LabelContent> content(const labelformat::FieldValues& values, std::string* why = nullptr);

    LabelLayout layOut(const LabelContent& content, int dotsPerInch);

    // The whole label, or one layer of it.
    Raster paint(const LabelLayout& layout, const PaintOptions& options = {});
    // One field alone on a raster the size of its box (its placement's box).
    Raster paintField(const LabelLayout& layout, std::int16_t fieldNumber);

private:
    struct State;
    explicit LabelRenderer(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

}  // namespace render
