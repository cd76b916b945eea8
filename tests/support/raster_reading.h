// SPDX-License-Identifier: MIT
// Reading drawn labels back: barcodes through zbar, and where the black dots lie.
#pragma once

#include <zbar.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "render/label_renderer.h"

namespace testing_support {

// zbar's C interface, which its header puts in a namespace of its own for C++.
using namespace zbar;

struct Scanned {
    zbar_symbol_type_t type;
    std::string data;
    bool gs1 = false;  // read as GS1 data (a Code 128 symbol that starts with FNC1)
};

// Every symbol zbar finds on the raster, as 8-bit grey.
inline std::vector<Scanned> scan(const render::Raster& raster) {
    std::vector<unsigned char> grey(static_cast<std::size_t>(raster.widthDots) * static_cast<std::size_t>(raster.heightDots));
    for (int y = 0; y < raster.heightDots; ++y) {
        for (int x = 0; x < raster.widthDots; ++x) {
            grey[static_cast<std::size_t>(y * raster.widthDots + x)] = raster.isBlack(x, y) ? 0 : 255;
        }
    }
    const std::unique_ptr<zbar_image_scanner_t, decltype(&zbar_image_scanner_destroy)> scanner(
        zbar_image_scanner_create(), zbar_image_scanner_destroy);
    zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
    const std::unique_ptr<zbar_image_t, decltype(&zbar_image_destroy)> image(zbar_image_create(), zbar_image_destroy);
    zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image.get(), static_cast<unsigned>(raster.widthDots), static_cast<unsigned>(raster.heightDots));
    zbar_image_set_data(image.get(), grey.data(), grey.size(), nullptr);
    std::vector<Scanned> found;
    if (zbar_scan_image(scanner.get(), image.get()) > 0) {
        for (const zbar_symbol_t* symbol = zbar_image_first_symbol(image.get()); symbol != nullptr;
             symbol = zbar_symbol_next(symbol)) {
            found.push_back({zbar_symbol_get_type(symbol), zbar_symbol_get_data(symbol),
                             (zbar_symbol_get_modifiers(symbol) & (1u << ZBAR_MOD_GS1)) != 0});
        }
    }
    return found;
}

// What a scanner sends for a symbol: its data, GS1 data without the parentheses.
inline std::string scannedForm(const render::EncodedSymbol& symbol) {
    if (symbol.symbology != labelformat::Symbology::Gs1_128) return symbol.data;
    std::string digits;
    for (char c : symbol.data) {
        if (c != '(' && c != ')' && c != '[' && c != ']') digits += c;
    }
    return digits;
}

// The dots of `area` (inside the raster) as a raster of their own.
inline render::Raster cropped(const render::Raster& raster, const render::DotRect& area) {
    render::Raster part = render::Raster::blank(area.widthDots, area.heightDots, raster.dotsPerInch);
    for (int y = 0; y < area.heightDots; ++y) {
        for (int x = 0; x < area.widthDots; ++x) {
            if (raster.isBlack(area.xDots + x, area.yDots + y)) {
                part.bits[static_cast<std::size_t>(y) * part.strideBytes + static_cast<std::size_t>(x) / 8] |=
                    static_cast<std::uint8_t>(0x80u >> (x % 8));
            }
        }
    }
    return part;
}

// The smallest rectangle around every black dot; width 0 when there is none.
inline render::DotRect inkBounds(const render::Raster& raster) {
    int left = raster.widthDots, top = raster.heightDots, right = 0, bottom = 0;
    for (int y = 0; y < raster.heightDots; ++y) {
        for (int x = 0; x < raster.widthDots; ++x) {
            if (!raster.isBlack(x, y)) continue;
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x + 1);
            bottom = std::max(bottom, y + 1);
        }
    }
    return right == 0 ? render::DotRect{} : render::DotRect{left, top, right - left, bottom - top};
}

inline bool inside(const render::DotRect& inner, const render::DotRect& outer) {
    return inner.xDots >= outer.xDots && inner.yDots >= outer.yDots && inner.rightDots() <= outer.rightDots() &&
           inner.bottomDots() <= outer.bottomDots();
}

// The layout with one field alone, painted on the whole label.
inline render::Raster paintAlone(render::LabelRenderer& renderer, render::LabelLayout layout, std::int16_t field) {
    layout.statics.clear();
    std::erase_if(layout.texts, [field](const auto& element) { return element.fieldNumber != field; });
    std::erase_if(layout.barcodes, [field](const auto& element) { return element.fieldNumber != field; });
    return renderer.paint(layout, {render::Layer::All, false});
}

}  // namespace testing_support
