// SPDX-License-Identifier: MIT
#include "render/layout.h"

#include <algorithm>
#include <cmath>

namespace render {
namespace {

constexpr double kMmPerInch = 25.4;

template <typename Element>
const Element* findByNumber(const std::vector<Element>& elements, std::int16_t fieldNumber) {
    const auto found = std::find_if(elements.begin(), elements.end(),
                                    [fieldNumber](const Element& element) { return element.fieldNumber == fieldNumber; });
    return found == elements.end() ? nullptr : &*found;
}

}  // namespace

int mmToDots(double mm, int dotsPerInch) { return static_cast<int>(std::lround(mm * dotsPerInch / kMmPerInch)); }

DotRect rectInDots(double xMm, double yMm, double widthMm, double heightMm, int dotsPerInch) {
    const int left = mmToDots(xMm, dotsPerInch);
    const int top = mmToDots(yMm, dotsPerInch);
    return {left, top, mmToDots(xMm + widthMm, dotsPerInch) - left, mmToDots(yMm + heightMm, dotsPerInch) - top};
}

int Placement::contentWidthDots() const { return rotationDeg % 180 == 0 ? box.widthDots : box.heightDots; }
int Placement::contentHeightDots() const { return rotationDeg % 180 == 0 ? box.heightDots : box.widthDots; }

DotRect Placement::toLabel(const DotRect& content) const {
    const DotRect& b = box;
    const DotRect& c = content;
    switch (rotationDeg) {
        case 90: return {b.rightDots() - c.bottomDots(), b.yDots + c.xDots, c.heightDots, c.widthDots};
        case 180: return {b.rightDots() - c.rightDots(), b.bottomDots() - c.bottomDots(), c.widthDots, c.heightDots};
        case 270: return {b.xDots + c.yDots, b.bottomDots() - c.rightDots(), c.heightDots, c.widthDots};
        default: return {b.xDots + c.xDots, b.yDots + c.yDots, c.widthDots, c.heightDots};
    }
}

const TextElement* LabelLayout::findText(std::int16_t fieldNumber) const { return findByNumber(texts, fieldNumber); }

const BarcodeElement* LabelLayout::findBarcode(std::int16_t fieldNumber) const {
    return findByNumber(barcodes, fieldNumber);
}

}  // namespace render
