// SPDX-License-Identifier: MIT
// Rasters as PNG files: 1-bit greyscale, black dots black, the resolution recorded so
// that a viewer shows the label at its size.
#pragma once

#include <string>

#include "render/raster.h"

namespace render {

// The whole file. Labels are mostly white, so the fastest zlib level costs little size.
std::string encodePng(const Raster& raster);

}  // namespace render
