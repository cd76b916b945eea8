// SPDX-License-Identifier: MIT
// The designer's geometry, free of Qt: where the objects of a format lie in millimetres,
// how they snap, and the arranging commands (align, distribute, same size, turn). Every
// function returns new positions; the window writes them into the format as one step.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "designer/format_document.h"
#include "labelformat/label_format.h"

namespace designer::gui {

// Objects are the document's elements: a field or a static element by its place in the
// format's "fields" or "static" array.
using ObjectRef = ElementRef;

inline bool isField(ObjectRef object) { return object.kind == ElementKind::Field; }
inline ObjectRef fieldAt(std::size_t index) { return {ElementKind::Field, index}; }
inline ObjectRef staticAt(std::size_t index) { return {ElementKind::Static, index}; }
// Statics before fields, each in array order: the order they are drawn in.
struct DrawingOrder {
    bool operator()(ObjectRef a, ObjectRef b) const {
        return a.kind != b.kind ? a.kind == ElementKind::Static : a.index < b.index;
    }
};

struct MmRect {
    double xMm = 0.0;
    double yMm = 0.0;
    double widthMm = 0.0;
    double heightMm = 0.0;

    double rightMm() const { return xMm + widthMm; }
    double bottomMm() const { return yMm + heightMm; }
    double centreXMm() const { return xMm + widthMm / 2; }
    double centreYMm() const { return yMm + heightMm / 2; }
    bool contains(double pointXMm, double pointYMm) const {
        return pointXMm >= xMm && pointXMm <= rightMm() && pointYMm >= yMm && pointYMm <= bottomMm();
    }
    bool intersects(const MmRect& other) const {
        return xMm <= other.rightMm() && other.xMm <= rightMm() && yMm <= other.bottomMm() && other.yMm <= bottomMm();
    }
    bool operator==(const MmRect&) const = default;
};

MmRect unite(const MmRect& a, const MmRect& b);

// The keys that place an object: a box (fields, boxes, images) or a line's two ends.
struct Placement {
    bool isLine = false;
    double xMm = 0.0;  // a line's start
    double yMm = 0.0;
    double widthMm = 0.0;  // boxes
    double heightMm = 0.0;
    double x2Mm = 0.0;  // a line's end
    double y2Mm = 0.0;
    int rotationDeg = 0;  // fields

    MmRect frame() const;  // a line's frame is the rectangle its ends span
    bool operator==(const Placement&) const = default;
};

using PlacementChanges = std::vector<std::pair<ObjectRef, Placement>>;

Placement placementOf(const labelformat::LabelFormat& format, ObjectRef object);
std::vector<ObjectRef> allObjects(const labelformat::LabelFormat& format);

// The same object moved and stretched so that its frame becomes `frame`; a line keeps
// which end is where.
Placement withFrame(const Placement& placement, const MmRect& frame);

// Positions are kept at the middle of a printer dot, to 0.01 mm, so that a value written
// by the designer lands on the dot it was put on at every resolution it is drawn at.
double dotEdgeMm(int dots, int dotsPerInch);
double dotsToMm(double dots, int dotsPerInch);
double mmToDotsExact(double mm, int dotsPerInch);

// ---- Snapping ----

struct SnapLines {
    std::vector<double> xMm;  // vertical lines an edge or centre may snap to
    std::vector<double> yMm;
};

// The label's edges and centre and every object's edges and centre, except `moving`'s.
SnapLines snapLinesOf(const labelformat::LabelFormat& format, const std::vector<ObjectRef>& moving);

struct SnapRule {
    bool enabled = true;         // Shift held pauses snapping
    double gridMm = 1.0;         // 0.5, 1 or 5; 0 for no grid
    double toleranceMm = 0.5;    // how near a line must be to catch an edge
};

struct Snapped {
    double deltaXMm = 0.0;
    double deltaYMm = 0.0;
    std::optional<double> guideXMm;  // the line an edge snapped to, to show it
    std::optional<double> guideYMm;
};

// The move of a frame by (dx, dy) after snapping: its left, centre or right edge onto the
// nearest line within tolerance, else its left edge onto the grid (likewise vertically).
// Without snapping, onto whole dots.
Snapped snapMove(const MmRect& frame, double deltaXMm, double deltaYMm, const SnapLines& lines,
                 const SnapRule& rule, int dotsPerInch);
// One coordinate (a dragged edge): onto the nearest line, else the grid, else a dot.
double snapCoordinate(double valueMm, const std::vector<double>& lines, const SnapRule& rule, int dotsPerInch,
                      std::optional<double>* guide = nullptr);

// ---- Moving and resizing ----

// Moved by whole dots (arrows) or millimetres (Shift+arrows), kept inside the label.
MmRect movedByDots(const MmRect& frame, int deltaXDots, int deltaYDots, int dotsPerInch);
MmRect resizedByDots(const MmRect& frame, int deltaWidthDots, int deltaHeightDots, int dotsPerInch);
MmRect movedByMm(const MmRect& frame, double deltaXMm, double deltaYMm);
MmRect resizedByMm(const MmRect& frame, double deltaWidthMm, double deltaHeightMm);
// Moved back inside the label as far as it fits.
MmRect keptInside(const MmRect& frame, double labelWidthMm, double labelHeightMm);

// Turned 90 degrees clockwise about its centre: a field's box swaps width and height and
// its content turns with it; a line turns about its middle; a box swaps its sides. An
// image does not turn (the format cannot turn it).
std::optional<Placement> turnedQuarter(const Placement& placement, labelformat::StaticType staticType, bool forField,
                                       double labelWidthMm, double labelHeightMm);

// ---- Arranging several objects ----

enum class Arrangement {
    AlignLeft,
    AlignHorizontalCentre,
    AlignRight,
    AlignTop,
    AlignVerticalCentre,
    AlignBottom,
    CentreInLabel,
    DistributeHorizontally,  // equal gaps between the first and the last
    DistributeVertically,
    SameWidth,  // as the first selected
    SameHeight,
};

// The new frames, in the order given; the first frame is the reference for sizes.
std::vector<MmRect> arrange(const std::vector<MmRect>& frames, Arrangement arrangement, double labelWidthMm,
                            double labelHeightMm);

// The lowest field number not in use, or nothing when all 32767 are.
std::optional<int> nextFreeFieldNumber(const labelformat::LabelFormat& format, int from = 1);

}  // namespace designer::gui
