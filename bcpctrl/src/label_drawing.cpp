// SPDX-License-Identifier: MIT
#include "bcpctrl/label_drawing.h"

#include <algorithm>
#include <cmath>

namespace bcpctrl {

int dotsFromMm(double mm, int dotsPerInch) {
    return static_cast<int>(std::lround(mm / 25.4 * dotsPerInch));
}

render::Raster blankRaster(int widthDots, int heightDots, int dotsPerInch) {
    render::Raster raster;
    raster.widthDots = std::max(widthDots, 0);
    raster.heightDots = std::max(heightDots, 0);
    raster.dotsPerInch = dotsPerInch;
    raster.strideBytes = (static_cast<std::size_t>(raster.widthDots) + 7) / 8;
    raster.bits.assign(raster.strideBytes * static_cast<std::size_t>(raster.heightDots), 0);
    return raster;
}

render::Raster blankLabel(const LabelToPrint& label, int dotsPerInch) {
    return blankRaster(dotsFromMm(label.format.widthMm, dotsPerInch), dotsFromMm(label.format.heightMm, dotsPerInch),
                       dotsPerInch);
}

}  // namespace bcpctrl
