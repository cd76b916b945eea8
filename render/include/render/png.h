// SPDX-License-Identifier: MIT
// Rasters as PNG files: 1-bit greyscale, black dots black, the resolution recorded so
// that a viewer shows the label at its size.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "render/raster.h"

namespace render {

// Keeps its compressor and buffers from one picture to the next: a job's labels then
// cost no allocation beyond the first. Labels are mostly white, so the fastest zlib
// level costs little size.
class PngEncoder {
public:
    PngEncoder();
    ~PngEncoder();
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    // The whole file; valid until the next call.
    std::string_view encode(const Raster& raster);

private:
    struct Compressor;
    std::unique_ptr<Compressor> compressor_;
    std::string rows_;
    std::string png_;
};

std::string encodePng(const Raster& raster);

}  // namespace render
