// SPDX-License-Identifier: MIT
#include "zplsim/label_picture.h"

#include <algorithm>
#include <cstdlib>

#include "zplsim/barcode_bars.h"

namespace zplsim {
namespace {

Bitmap blank(int widthDots, int heightDots) {
    Bitmap bitmap;
    bitmap.widthDots = std::max(widthDots, 0);
    bitmap.heightDots = std::max(heightDots, 0);
    bitmap.strideBytes = (static_cast<std::size_t>(bitmap.widthDots) + 7) / 8;
    bitmap.bits.assign(bitmap.strideBytes * static_cast<std::size_t>(bitmap.heightDots), 0);
    return bitmap;
}

void setDot(Bitmap& bitmap, int x, int y, bool black = true) {
    if (x < 0 || y < 0 || x >= bitmap.widthDots || y >= bitmap.heightDots) return;
    auto& byte = bitmap.bits[static_cast<std::size_t>(y) * bitmap.strideBytes + static_cast<std::size_t>(x) / 8];
    const auto bit = static_cast<std::uint8_t>(0x80u >> (x % 8));
    byte = static_cast<std::uint8_t>(black ? byte | bit : byte & ~bit);
}

// Black dots of `part` (`widthDots` of its columns) onto the picture at a corner.
void paintOnto(Bitmap& picture, const Bitmap& part, int widthDots, int left, int top) {
    for (int y = 0; y < part.heightDots; ++y) {
        for (int x = 0; x < std::min(widthDots, part.widthDots); ++x) {
            if (part.isBlack(x, y)) setDot(picture, left + x, top + y);
        }
    }
}

// The field orientations N, R, I and B: the upright picture turned clockwise.
Bitmap turned(const Bitmap& upright, char orientation) {
    const int quarterTurns = orientation == 'R' ? 1 : orientation == 'I' ? 2 : orientation == 'B' ? 3 : 0;
    if (quarterTurns == 0) return upright;
    const bool across = quarterTurns % 2 == 1;
    Bitmap out = blank(across ? upright.heightDots : upright.widthDots, across ? upright.widthDots : upright.heightDots);
    for (int y = 0; y < upright.heightDots; ++y) {
        for (int x = 0; x < upright.widthDots; ++x) {
            if (!upright.isBlack(x, y)) continue;
            const int w = upright.widthDots;
            const int h = upright.heightDots;
            switch (quarterTurns) {
                case 1: setDot(out, h - 1 - y, x); break;
                case 2: setDot(out, w - 1 - x, h - 1 - y); break;
                default: setDot(out, y, w - 1 - x); break;
            }
        }
    }
    return out;
}

int parameterOr(const std::vector<std::string>& parts, std::size_t index, int fallback) {
    return index < parts.size() && !parts[index].empty() ? std::atoi(parts[index].c_str()) : fallback;
}

// The bar height of a linear barcode: its command's own, else ^BY's.
int barHeight(const Field& field) {
    const bool heightThird = field.command == "B3" || field.command == "BK";
    return parameterOr(parametersOf(field.params), heightThird ? 2 : 1, field.bar.heightDots);
}

std::string where(const Field& field) {
    return field.command + " at " + std::to_string(field.xDots) + "," + std::to_string(field.yDots);
}

// ^FO places a field's top-left corner; ^FT the bottom-left of an upright one.
bool place(Bitmap& picture, const Field& field, const Bitmap& upright, char orientation, int widthDots) {
    if (field.origin == "FT" && orientation != 'N') return false;
    const Bitmap drawn = turned(upright, orientation);
    const int top = field.origin == "FT" ? field.yDots - drawn.heightDots : field.yDots;
    paintOnto(picture, drawn, orientation == 'N' ? widthDots : drawn.widthDots, field.xDots, top);
    return true;
}

bool drawBarcode(Bitmap& picture, const Field& field) {
    const BarcodeBars drawn = barcodeBars(field);
    if (drawn.bars.empty()) return false;
    const int height = barHeight(field);
    Bitmap upright = blank(static_cast<int>(drawn.bars.size()), height);
    for (int x = 0; x < upright.widthDots; ++x) {
        if (drawn.bars[static_cast<std::size_t>(x)] != '1') continue;
        for (int y = 0; y < height; ++y) setDot(upright, x, y);
    }
    const std::string orientation = parametersOf(field.params).front();
    return place(picture, field, upright, orientation.empty() ? 'N' : orientation.front(), upright.widthDots);
}

// ^GBw,h,t,c,r: a box of lines t thick inside w × h (w and h at least t), black or white.
bool drawBox(Bitmap& picture, const Field& field) {
    const auto parts = parametersOf(field.params);
    const int thickness = std::max(1, parameterOr(parts, 2, 1));
    const int width = std::max(thickness, parameterOr(parts, 0, thickness));
    const int height = std::max(thickness, parameterOr(parts, 1, thickness));
    if (parameterOr(parts, 4, 0) != 0) return false;  // rounded corners
    const bool black = parts.size() < 4 || parts[3].empty() || parts[3] != "W";
    const int top = field.origin == "FT" ? field.yDots - height : field.yDots;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool onLine = x < thickness || y < thickness || x >= width - thickness || y >= height - thickness;
            if (onLine) setDot(picture, field.xDots + x, top + y, black);
        }
    }
    return true;
}

}  // namespace

LabelPicture labelPicture(const Label& label) {
    LabelPicture picture{blank(label.printWidthDots, label.labelLengthDots), {}};
    for (const Field& field : label.fields) {
        bool drawn = false;
        if (field.kind == FieldKind::Graphic && field.image) {
            drawn = place(picture.dots, field, *field.image, 'N', field.image->widthDots);
        } else if (field.kind == FieldKind::Text) {
            if (field.typeset) paintOnto(picture.dots, *field.typeset, field.typeset->widthDots, field.typesetLeftDots, field.typesetTopDots);
            drawn = field.typeset || field.data.empty();
        } else if (field.kind == FieldKind::Barcode) {
            drawn = drawBarcode(picture.dots, field);
        } else if (field.kind == FieldKind::Box) {
            drawn = drawBox(picture.dots, field);
        }
        if (!drawn) picture.undrawn.push_back(where(field));
    }
    return picture;
}

}  // namespace zplsim
