// SPDX-License-Identifier: MIT
// The bars a printer draws for a linear barcode field, worked out from the field's command,
// its parameters, ^BY and its data as a ZPL II printer reads them (Code 128 invocation codes,
// check digits the printer adds, start and stop characters). It is written apart from the
// control's encoder, so that a test can hold the two against each other.
#pragma once

#include <string>
#include <vector>

#include "zplsim/zpl_decoder.h"

namespace zplsim {

struct BarcodeBars {
    // One character a dot across the symbol, from its first bar to its last: '1' bar, '0'
    // space. Empty for symbologies the emulator does not draw (QR and the others).
    std::string bars;
    // What a scanner reads: check digits included, Codabar's start and stop letters, GS1
    // data without its leading FNC1 and with GS (0x1D) for every later FNC1.
    std::string readable;
    std::string error;  // data the printer would refuse or that is drawn differently
};

BarcodeBars barcodeBars(const Field& field);

// A field command's parameters, split at every comma.
std::vector<std::string> parametersOf(const std::string& params);

}  // namespace zplsim
