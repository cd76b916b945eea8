// SPDX-License-Identifier: MIT
// One label drawn by the renderer exactly as it would print, with what a format's author
// must know about it: text condensed, cut or without glyphs, barcodes refused, and every
// barcode read back from the drawn 1-bit picture by a scanner (zbar).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "designer/findings.h"
#include "labelformat/label_format.h"
#include "labelformat/outcome.h"
#include "render/fonts.h"
#include "render/label_renderer.h"

namespace designer {

struct BarcodeScan {
    std::size_t fieldIndex = 0;
    std::int16_t fieldNumber = 0;
    std::string expected;  // what a scanner should send (GS1 data without parentheses)
    std::string read;      // what was read in its box, empty when nothing
    bool readBack = false;
};

struct LabelProof {
    // The control would refuse the label (a barcode refused): it is drawn anyway, the
    // refused barcodes left empty, so that the rest can be seen.
    bool refused = false;
    render::LabelLayout layout;
    render::Raster picture;  // the 1-bit picture the printer gets
    std::vector<Finding> findings;  // in field order
    std::vector<BarcodeScan> scans;  // barcodes with data, in field order

    int barcodesReadBack() const;
    int barcodesScanned() const { return static_cast<int>(scans.size()); }
    bool refusesOrUnreadable() const;
};

struct ProofOptions {
    int dotsPerInch = render::kDefaultDotsPerInch;
    bool readBack = true;  // scan the barcodes (the most costly part)
};

// Proofs of one format's labels; keeps the renderer, so that labels differing in a few
// fields cost little. One thread at a time: a check on another thread (a fit check beside
// the canvas) takes a checker of its own, with fonts of its own.
class LabelChecker {
public:
    // 1300 when an image of the format cannot be read.
    static labelformat::Outcome<LabelChecker> create(const labelformat::LabelFormat& format,
                                                     std::shared_ptr<render::Fonts> fonts);

    LabelChecker(LabelChecker&&) noexcept;
    LabelChecker& operator=(LabelChecker&&) noexcept;
    ~LabelChecker();

    const labelformat::LabelFormat& format() const;
    render::LabelRenderer& renderer();

    // The label of these values (fields missing from them show their default), as the
    // control draws it for Issue.
    LabelProof proof(const labelformat::FieldValues& values, const ProofOptions& options = {});

    // Parts of a proof, for checks that want only some of it.
    // The barcodes the control refuses for these values, each with the renderer's reason.
    std::vector<Finding> refusedBarcodes(const labelformat::FieldValues& values);
    // Text condensed, cut or without glyphs in a layout.
    std::vector<Finding> textFindings(const render::LabelLayout& layout) const;
    // Reads the barcode back from the picture of its label.
    BarcodeScan scanBarcode(const render::Raster& picture, const render::BarcodeElement& barcode) const;

private:
    struct State;
    explicit LabelChecker(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// The values the program hands over, on top of the format's defaults: what the control
// holds for Issue (values for fields the format lacks are refused by SetField and dropped).
labelformat::FieldValues labelValues(const labelformat::LabelFormat& format, const labelformat::FieldValues& set);

}  // namespace designer
