// SPDX-License-Identifier: MIT
// A field's text as a barcode symbol, encoded by libzint after our own checks of what
// each symbology takes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "render/layout.h"

namespace render {

struct Encoding {
    std::shared_ptr<const EncodedSymbol> symbol;  // empty when refused
    std::string refusal;                          // why, for people who write formats
};

Encoding encodeSymbol(labelformat::Symbology symbology, std::string_view text);

}  // namespace render
