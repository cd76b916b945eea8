// SPDX-License-Identifier: MIT
// Pieces both label encoders use: pictures cut to their black dots, EAN's longer guard bars,
// and the names a job gives what it stores in the printer.
#pragma once

#include <optional>
#include <string>

#include "render/layout.h"

namespace zpl {

struct Inked {
    render::Raster raster;
    int xDots = 0;  // where its top-left dot stands in the raster it was cut from
    int yDots = 0;
};

// The raster cut down to its black dots, so that white margins are neither sent nor stored
// and a text looks the same to the store in any box; nothing when it is blank.
std::optional<Inked> inked(const render::Raster& raster);

// EAN's guard bars reach down between the digits of the human-readable text: the parts
// below the other bars, as one picture on the label (the same on every label of a format),
// and where it goes.
std::optional<Inked> guardBarExtensions(const render::BarcodeElement& element);

// Two letters or digits that no job running before this one is likely to have had: the
// start of every name the job stores in the printer.
std::string jobNamePrefix();

std::string base36(std::size_t number);

}  // namespace zpl
