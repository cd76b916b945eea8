// SPDX-License-Identifier: MIT
// Between cairo's 1-bit image surfaces (the leftmost dot in the lowest bit on this
// machine) and Raster (the leftmost dot in the highest bit).
#pragma once

#include "handles.h"
#include "render/layout.h"
#include "render/raster.h"

namespace render {

SurfaceHandle a1FromRaster(const Raster& raster);

// Labels are painted with 8-bit coverage and thresholded: a dot at least half covered is
// black. The surface is as wide as whole bytes of a raster of `widthDots`.
SurfaceHandle newCoverageSurface(int widthDots, int heightDots);
void clearCoverage(cairo_surface_t* surface, const DotRect& area);
// The dots of `area` at least half covered become black in `raster`; others stay as they are.
void addCoverage(cairo_surface_t* surface, const DotRect& area, Raster& raster);

// Nearest-neighbour scaling, for images of the format.
Raster scaledRaster(const Raster& source, int widthDots, int heightDots);

// A white raster.
Raster whiteRaster(int widthDots, int heightDots, int dotsPerInch);

}  // namespace render
