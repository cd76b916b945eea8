// SPDX-License-Identifier: MIT
// What printers that take pictures ask for a label: a 1-bit raster at the resolution the
// printer prints at, or a one-page PDF. The control hands every printer it opens the same
// drawing, the renderer's, unless a test hands it pictures of its own.
#pragma once

#include <memory>
#include <string>

#include "core/printer.h"
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

// The label as the renderer draws it (LabelToPrint::renderer, ::content).
std::shared_ptr<const LabelPictures> drawnLabelPictures();

}  // namespace bcpctrl
