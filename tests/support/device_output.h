// SPDX-License-Identifier: MIT
// What reached a printer's device, read back into pictures: the ZPL that CUPS's label
// driver writes (graphics downloads, copies, cuts) and CUPS or PWG raster streams. Also
// the pictures a test hands to the control, recorded so the two can be compared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bcpctrl/label_pictures.h"
#include "render/raster.h"

namespace testing_support {

struct DecodedLabel {
    render::Raster picture;  // dotsPerInch unknown (0) for ZPL
    int copies = 1;          // ^PQ
    bool cut = false;        // ^CN1 after the label
};

// Every label of the driver's ZPL: "~DG" graphics in its compression, then the format
// that prints them. Labels whose graphics are cut short are left out.
std::vector<DecodedLabel> decodeZplLabels(const std::string& zpl);

// Every page of a raster stream, or of several PWG raster streams one after another.
std::vector<DecodedLabel> decodeRasterPages(const std::string& bytes);

// Rows compared on the label's own dots (padding bits ignored).
bool samePicture(const render::Raster& drawn, const render::Raster& decoded);

// Bars whose spacing depends on the first field's text, and a block in the top left
// corner that shows if a picture arrives turned or mirrored. Keeps every picture it drew.
class PatternPictures final : public bcpctrl::LabelPictures {
public:
    render::Raster raster(const bcpctrl::LabelToPrint& label, int dotsPerInch) const override;
    std::string pdf(const bcpctrl::LabelToPrint& label) const override;

    mutable std::vector<render::Raster> drawn;
    mutable std::vector<std::string> pdfs;
};

}  // namespace testing_support
