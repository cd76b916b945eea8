// SPDX-License-Identifier: MIT
// Barcodes as the printer's own barcode commands, drawing exactly the modules of the
// renderer's symbol. Every length is in dots.
#pragma once

#include <optional>
#include <string>

#include "render/layout.h"
#include "zpl/commands.h"

namespace zpl {

// Where a barcode goes and how big its modules are.
struct BarcodePlacement {
    FieldOrigin origin;       // ^FO: the top-left corner of the bars as printed
    int rotationDeg = 0;      // 0, 90, 180 or 270, clockwise
    int moduleWidthDots = 1;  // ^BY: the narrowest bar (QR: the module)
    int heightDots = 1;       // the bars (not QR)
};
// ^BY and the symbology's own command, without the printer's interpretation line, with
// field data that makes the printer draw exactly the symbol's modules: EAN without the
// check digit the printer adds, ITF-14 whole without one added, Codabar with its start and
// stop letters as parameters, Code 128 and GS1-128 with the start code, code set changes
// and FNC1 the symbol has, as invocation codes. Nothing where the printer would draw
// something else: a Code 128 symbol with SHIFT, two-width symbols whose wide element is not
// 2 or 3 modules, modules over 10 dots, a QR code turned, less than 10 dots from the top of
// the label (a printer prints ^BQ that far below its ^FO) or whose text is neither ASCII
// (automatic input) nor all Shift JIS double-byte characters (Kanji mode).
std::optional<std::string> barcodeField(const render::EncodedSymbol& symbol, const BarcodePlacement& placement);

}  // namespace zpl
