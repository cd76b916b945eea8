// SPDX-License-Identifier: MIT
// An encoded symbol placed in its field's box: whole-dot modules, quiet zones inside the
// box, human-readable text under linear symbols.
#pragma once

#include <memory>

#include <pango/pango.h>

#include "labelformat/label_format.h"
#include "render/layout.h"

namespace render {

// Whether the symbol fits a content area with modules of one dot.
bool symbolFits(const EncodedSymbol& symbol, int contentWidthDots, int contentHeightDots);

BarcodeElement layOutBarcode(std::shared_ptr<const EncodedSymbol> symbol, const labelformat::LabelField& field,
                             const Placement& placement, PangoContext* context, int dotsPerInch);

}  // namespace render
