// SPDX-License-Identifier: MIT
#include "label_parts.h"

#include <algorithm>
#include <random>
#include <vector>

namespace zpl {

using render::DotRect;

std::optional<Inked> inked(const render::Raster& raster) {
    int left = raster.widthDots;
    int right = -1;
    int top = raster.heightDots;
    int bottom = -1;
    for (int y = 0; y < raster.heightDots; ++y) {
        for (int x = 0; x < raster.widthDots; ++x) {
            if (!raster.isBlack(x, y)) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return std::nullopt;
    Inked cut{render::Raster::blank(right - left + 1, bottom - top + 1, raster.dotsPerInch), left, top};
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            if (!raster.isBlack(x, y)) continue;
            cut.raster.setBlack(x - left, y - top);
        }
    }
    return cut;
}

std::optional<Inked> guardBarExtensions(const render::BarcodeElement& element) {
    std::vector<DotRect> extensions;
    for (const DotRect& bar : element.darkRects) {
        const int extra = bar.bottomDots() - element.symbolRect.bottomDots();
        if (extra > 0) {
            extensions.push_back(element.placement.toLabel({bar.xDots, element.symbolRect.bottomDots(), bar.widthDots, extra}));
        }
    }
    if (extensions.empty()) return std::nullopt;
    DotRect bounds = extensions.front();
    for (const DotRect& rect : extensions) {
        const int right = std::max(bounds.rightDots(), rect.rightDots());
        const int bottom = std::max(bounds.bottomDots(), rect.bottomDots());
        bounds.xDots = std::min(bounds.xDots, rect.xDots);
        bounds.yDots = std::min(bounds.yDots, rect.yDots);
        bounds.widthDots = right - bounds.xDots;
        bounds.heightDots = bottom - bounds.yDots;
    }
    Inked picture{render::Raster::blank(bounds.widthDots, bounds.heightDots, 0), bounds.xDots, bounds.yDots};
    for (const DotRect& rect : extensions) {
        for (int y = rect.yDots - bounds.yDots; y < rect.bottomDots() - bounds.yDots; ++y) {
            for (int x = rect.xDots - bounds.xDots; x < rect.rightDots() - bounds.xDots; ++x) {
                picture.raster.setBlack(x, y);
            }
        }
    }
    return picture;
}

std::string jobNamePrefix() {
    constexpr std::string_view kCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> letter(0, 25);
    std::uniform_int_distribution<std::size_t> any(0, kCharacters.size() - 1);
    return {kCharacters[letter(random)], kCharacters[any(random)]};
}

std::string base36(std::size_t number) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[number % 36]);
        number /= 36;
    } while (number > 0);
    return digits;
}

}  // namespace zpl
