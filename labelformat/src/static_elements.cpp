// SPDX-License-Identifier: MIT
#include "static_elements.h"

#include <algorithm>

namespace labelformat::static_elements {
namespace {

using namespace json_reading;

StaticType readType(const Json& value) {
    return readChoice<StaticType>(value, {{"line", StaticType::Line}, {"box", StaticType::Box}, {"image", StaticType::Image}});
}

double readPositive(const Json& value) {
    const double number = readNumber(value);
    if (number <= 0.0) {
        throw JsonShapeError{};
    }
    return number;
}

void readRectangle(const Json& value, StaticElement& element) {
    element.xMm = readNumber(member(value, "xMm"));
    element.yMm = readNumber(member(value, "yMm"));
    element.widthMm = readNumber(member(value, "widthMm"));
    element.heightMm = readNumber(member(value, "heightMm"));
}

StaticElement readElement(const Json& value) {
    StaticElement element;
    element.type = readType(member(value, "type"));
    if (element.type == StaticType::Line) {
        element.xMm = readNumber(member(value, "xMm"));
        element.yMm = readNumber(member(value, "yMm"));
        element.x2Mm = readNumber(member(value, "x2Mm"));
        element.y2Mm = readNumber(member(value, "y2Mm"));
    } else {
        readRectangle(value, element);
    }
    if (const Json* lineWidth = optionalMember(value, "lineWidthMm")) {
        element.lineWidthMm = readPositive(*lineWidth);
    }
    if (const Json* fill = optionalMember(value, "fill")) {
        element.fill = readBool(*fill);
    }
    if (element.type == StaticType::Image) {
        element.file = readString(member(value, "file"));
        if (element.file.empty()) {
            throw JsonShapeError{};
        }
    }
    return element;
}

bool pointOnLabel(double xMm, double yMm, const LabelFormat& format) {
    return xMm >= 0.0 && yMm >= 0.0 && xMm <= format.widthMm + kEdgeToleranceMm &&
           yMm <= format.heightMm + kEdgeToleranceMm;
}

}  // namespace

std::vector<StaticElement> readStaticElements(const Json& document) {
    std::vector<StaticElement> elements;
    if (const Json* listed = optionalMember(document, "static")) {
        for (const Json& value : requireArray(*listed)) {
            elements.push_back(readElement(value));
        }
    }
    return elements;
}

bool insideLabel(const StaticElement& element, const LabelFormat& format) {
    if (element.lineWidthMm > std::max(format.widthMm, format.heightMm)) {
        return false;  // no line is wider than the label
    }
    if (element.type == StaticType::Line) {
        return pointOnLabel(element.xMm, element.yMm, format) && pointOnLabel(element.x2Mm, element.y2Mm, format);
    }
    return element.widthMm > 0.0 && element.heightMm > 0.0 && pointOnLabel(element.xMm, element.yMm, format) &&
           pointOnLabel(element.xMm + element.widthMm, element.yMm + element.heightMm, format);
}

}  // namespace labelformat::static_elements
