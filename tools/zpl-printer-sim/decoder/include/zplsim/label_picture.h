// SPDX-License-Identifier: MIT
// A decoded label as the printer prints it: one picture, one bit a dot, of everything the
// emulator draws (graphics, the bars of linear barcodes, boxes, text typeset in downloaded
// bitmap fonts). What it does not draw (text in resident or TrueType fonts, QR codes, fields
// it cannot place) it leaves white and names.
#pragma once

#include <string>
#include <vector>

#include "zplsim/zpl_decoder.h"

namespace zplsim {

struct LabelPicture {
    Bitmap dots;                       // the print width (^PW) by the label length (^LL)
    std::vector<std::string> undrawn;  // "BQ at 16,300": the fields left white
};

LabelPicture labelPicture(const Label& label);

}  // namespace zplsim
