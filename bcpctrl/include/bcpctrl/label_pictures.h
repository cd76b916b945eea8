// SPDX-License-Identifier: MIT
// What printers that take pictures ask for a label: a 1-bit raster at the resolution the
// printer prints at, or a one-page PDF. The renderer draws them; the control hands the
// drawing to every printer it opens.
#pragma once

#include <memory>
#include <string>

#include "bcpctrl/printer.h"
#include "render/raster.h"

namespace bcpctrl {

class LabelPictures {
public:
    virtual ~LabelPictures() = default;

    // The label at `dotsPerInch` both ways: the label's size in dots, 1 = black.
    virtual render::Raster raster(const LabelToPrint& label, int dotsPerInch) const = 0;
    // The label as a one-page PDF of the label's size.
    virtual std::string pdf(const LabelToPrint& label) const = 0;
};

// The number of dots `mm` covers at `dotsPerInch`, rounded to the nearest dot.
int dotsFor(double mm, int dotsPerInch);

// Blank labels of the right size: the stand-in the control uses until a renderer is
// handed to it (BcpCtrlOptions::pictures).
std::shared_ptr<const LabelPictures> blankLabelPictures();

// A valid one-page PDF of the given size with nothing drawn on it.
std::string blankPdfPage(double widthMm, double heightMm);

}  // namespace bcpctrl
