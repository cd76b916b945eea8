// SPDX-License-Identifier: MIT
// Label sizes in printer dots, and the stand-in drawing the control uses until the
// renderer draws labels: a blank raster of the label's size.
#pragma once

#include "bcpctrl/printer.h"
#include "render/raster.h"

namespace bcpctrl {

int dotsFromMm(double mm, int dotsPerInch);
render::Raster blankRaster(int widthDots, int heightDots, int dotsPerInch);
render::Raster blankLabel(const LabelToPrint& label, int dotsPerInch);

}  // namespace bcpctrl
