// SPDX-License-Identifier: MIT
// Between cairo's 1-bit image surfaces (the leftmost dot in the lowest bit on this
// machine) and Raster (the leftmost dot in the highest bit).
#pragma once

#include "handles.h"
#include "render/raster.h"

namespace render {

SurfaceHandle newA1Surface(int widthDots, int heightDots);
Raster rasterFromA1(cairo_surface_t* surface, int dotsPerInch);
SurfaceHandle a1FromRaster(const Raster& raster);

// Nearest-neighbour scaling, for images of the format.
Raster scaledRaster(const Raster& source, int widthDots, int heightDots);

// A white raster; a black dot set.
Raster whiteRaster(int widthDots, int heightDots, int dotsPerInch);
void setBlack(Raster& raster, int xDots, int yDots);

}  // namespace render
