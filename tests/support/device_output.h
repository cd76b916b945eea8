// SPDX-License-Identifier: MIT
// What reached a printer's device, read back into pictures: the ZPL that CUPS's label
// driver writes, read by the printer emulator's decoder, and CUPS or PWG raster streams.
// Also pictures a test hands to the control, kept so the two can be compared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/label_pictures.h"
#include "render/raster.h"

namespace testing_support {

struct DecodedLabel {
    render::Raster picture;  // dotsPerInch unknown (0) for ZPL
    int copies = 1;          // ^PQ
    bool cut = false;        // the driver cuts after the label (^CN1 for ZPL)
};

// Every label of the driver's ZPL that has come whole: the graphic it prints, its copies
// and its cut.
std::vector<DecodedLabel> decodeZplLabels(const std::string& zpl);

// Every page of a raster stream, or of several PWG raster streams one after another.
std::vector<DecodedLabel> decodeRasterPages(const std::string& bytes);

// Rows compared on the label's own dots (padding bits ignored).
bool samePicture(const render::Raster& drawn, const render::Raster& decoded);

// Bars whose spacing depends on the first field's text, and a block in the top left
// corner that shows if a picture arrives turned or mirrored, on rows longer than the
// label's width. Keeps every picture it drew. For raster queues only: its PDF is empty.
class PatternPictures final : public bcpctrl::LabelPictures {
public:
    render::Raster raster(const bcpctrl::LabelToPrint& label, int dotsPerInch) const override;
    std::string pdf(const bcpctrl::LabelToPrint& label) const override;

    mutable std::vector<render::Raster> drawn;
};

// The renderer's pictures, as the control draws them by default; keeps every PDF.
class KeptDrawnPictures final : public bcpctrl::LabelPictures {
public:
    render::Raster raster(const bcpctrl::LabelToPrint& label, int dotsPerInch) const override;
    std::string pdf(const bcpctrl::LabelToPrint& label) const override;

    mutable std::vector<std::string> pdfs;

private:
    std::shared_ptr<const bcpctrl::LabelPictures> drawn_ = bcpctrl::drawnLabelPictures();
};

}  // namespace testing_support
