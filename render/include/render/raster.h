// SPDX-License-Identifier: MIT
// A label drawn for a printer that takes pictures: one bit per dot, as label printers,
// CUPS raster, PBM and ZPL graphics all store it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace render {

// Rows from the top of the label, each `strideBytes` long; within a byte the leftmost dot
// is the highest bit, and a set bit is a black (printed) dot.
struct Raster {
    int widthDots = 0;
    int heightDots = 0;
    int dotsPerInch = 0;
    std::size_t strideBytes = 0;
    std::vector<std::uint8_t> bits;

    // A white picture of the given size.
    static Raster blank(int widthDots, int heightDots, int dotsPerInch) {
        Raster raster;
        raster.widthDots = widthDots > 0 ? widthDots : 0;
        raster.heightDots = heightDots > 0 ? heightDots : 0;
        raster.dotsPerInch = dotsPerInch;
        raster.strideBytes = (static_cast<std::size_t>(raster.widthDots) + 7) / 8;
        raster.bits.assign(raster.strideBytes * static_cast<std::size_t>(raster.heightDots), 0);
        return raster;
    }

    bool isBlack(int xDots, int yDots) const {
        const auto byte = bits[static_cast<std::size_t>(yDots) * strideBytes + static_cast<std::size_t>(xDots) / 8];
        return (byte & (0x80u >> (xDots % 8))) != 0;
    }
    void setBlack(int xDots, int yDots) {
        bits[static_cast<std::size_t>(yDots) * strideBytes + static_cast<std::size_t>(xDots) / 8] |=
            static_cast<std::uint8_t>(0x80u >> (xDots % 8));
    }
};

}  // namespace render
