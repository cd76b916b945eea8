// SPDX-License-Identifier: MIT
#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <set>

namespace designer::gui {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kHundredths = 100.0;

double toHundredths(double mm) { return std::round(mm * kHundredths) / kHundredths; }

// The dots a length covers, as the renderer rounds it.
int wholeDots(double mm, int dotsPerInch) { return static_cast<int>(std::lround(mm * dotsPerInch / kMmPerInch)); }

// Edges to 0.01 mm; the sizes the difference of the rounded edges, itself rounded so that
// no binary fraction like 0.12999999 reaches the file.
MmRect tidy(double leftMm, double topMm, double rightMm, double bottomMm) {
    const double x = toHundredths(leftMm);
    const double y = toHundredths(topMm);
    return {x, y, toHundredths(toHundredths(rightMm) - x), toHundredths(toHundredths(bottomMm) - y)};
}

double snapToGrid(double valueMm, double gridMm) { return toHundredths(std::round(valueMm / gridMm) * gridMm); }

double snapToDot(double valueMm, int dotsPerInch) { return dotEdgeMm(wholeDots(valueMm, dotsPerInch), dotsPerInch); }

// The smallest shift that brings one of `edges` onto one of `lines`, within tolerance.
std::optional<std::pair<double, double>> nearestLine(const std::vector<double>& edges, const std::vector<double>& lines,
                                                      double toleranceMm) {
    std::optional<std::pair<double, double>> best;  // (shift, line)
    for (double edge : edges) {
        for (double line : lines) {
            const double shift = line - edge;
            if (std::abs(shift) <= toleranceMm && (!best || std::abs(shift) < std::abs(best->first))) {
                best = std::pair{shift, line};
            }
        }
    }
    return best;
}

// One axis of a move: the frame's low, centre and high edge after the raw move.
double snapAxis(double lowMm, double sizeMm, double deltaMm, const std::vector<double>& lines, const SnapRule& rule,
                int dotsPerInch, std::optional<double>& guide) {
    const double movedLow = lowMm + deltaMm;
    if (!rule.enabled) return snapToDot(movedLow, dotsPerInch) - lowMm;
    if (auto line = nearestLine({movedLow, movedLow + sizeMm / 2, movedLow + sizeMm}, lines, rule.toleranceMm)) {
        guide = line->second;
        return movedLow + line->first - lowMm;
    }
    if (rule.gridMm > 0) return snapToGrid(movedLow, rule.gridMm) - lowMm;
    return snapToDot(movedLow, dotsPerInch) - lowMm;
}

void addEdges(SnapLines& lines, const MmRect& frame) {
    lines.xMm.insert(lines.xMm.end(), {frame.xMm, frame.centreXMm(), frame.rightMm()});
    lines.yMm.insert(lines.yMm.end(), {frame.yMm, frame.centreYMm(), frame.bottomMm()});
}

double keptWithin(double lowMm, double sizeMm, double limitMm) {
    if (sizeMm >= limitMm) return 0.0;
    return std::clamp(lowMm, 0.0, limitMm - sizeMm);
}

}  // namespace

MmRect unite(const MmRect& a, const MmRect& b) {
    const double left = std::min(a.xMm, b.xMm);
    const double top = std::min(a.yMm, b.yMm);
    return {left, top, std::max(a.rightMm(), b.rightMm()) - left, std::max(a.bottomMm(), b.bottomMm()) - top};
}

MmRect Placement::frame() const {
    if (!isLine) return {xMm, yMm, widthMm, heightMm};
    return {std::min(xMm, x2Mm), std::min(yMm, y2Mm), std::abs(x2Mm - xMm), std::abs(y2Mm - yMm)};
}

Placement placementOf(const labelformat::LabelFormat& format, ObjectRef object) {
    Placement placement;
    if (isField(object)) {
        const labelformat::LabelField& field = format.fields.at(object.index);
        placement.xMm = field.xMm;
        placement.yMm = field.yMm;
        placement.widthMm = field.widthMm;
        placement.heightMm = field.heightMm;
        placement.rotationDeg = field.rotationDeg;
        return placement;
    }
    const labelformat::StaticElement& element = format.statics.at(object.index);
    placement.isLine = element.type == labelformat::StaticType::Line;
    placement.xMm = element.xMm;
    placement.yMm = element.yMm;
    placement.widthMm = element.widthMm;
    placement.heightMm = element.heightMm;
    placement.x2Mm = element.x2Mm;
    placement.y2Mm = element.y2Mm;
    return placement;
}

std::vector<ObjectRef> allObjects(const labelformat::LabelFormat& format) {
    std::vector<ObjectRef> objects;
    for (std::size_t i = 0; i < format.statics.size(); ++i) objects.push_back(staticAt(i));
    for (std::size_t i = 0; i < format.fields.size(); ++i) objects.push_back(fieldAt(i));
    return objects;
}

Placement withFrame(const Placement& placement, const MmRect& frame) {
    Placement moved = placement;
    if (!placement.isLine) {
        const MmRect tidied = tidy(frame.xMm, frame.yMm, frame.rightMm(), frame.bottomMm());
        moved.xMm = tidied.xMm;
        moved.yMm = tidied.yMm;
        moved.widthMm = tidied.widthMm;
        moved.heightMm = tidied.heightMm;
        return moved;
    }
    // Each end keeps its side of the frame: a line drawn up and left stays drawn so.
    const MmRect old = placement.frame();
    const auto mapX = [&](double x) { return x == old.xMm ? frame.xMm : frame.rightMm(); };
    const auto mapY = [&](double y) { return y == old.yMm ? frame.yMm : frame.bottomMm(); };
    moved.xMm = toHundredths(mapX(placement.xMm));
    moved.x2Mm = toHundredths(placement.x2Mm == placement.xMm ? moved.xMm : mapX(placement.x2Mm));
    moved.yMm = toHundredths(mapY(placement.yMm));
    moved.y2Mm = toHundredths(placement.y2Mm == placement.yMm ? moved.yMm : mapY(placement.y2Mm));
    // A line along an axis has a frame without width (or height): moving it shifts both ends.
    if (old.widthMm == 0.0) moved.x2Mm = moved.xMm = toHundredths(frame.xMm);
    if (old.heightMm == 0.0) moved.y2Mm = moved.yMm = toHundredths(frame.yMm);
    return moved;
}

double dotEdgeMm(int dots, int dotsPerInch) { return toHundredths(dots * kMmPerInch / dotsPerInch); }
double dotsToMm(double dots, int dotsPerInch) { return dots * kMmPerInch / dotsPerInch; }
double mmToDotsExact(double mm, int dotsPerInch) { return mm * dotsPerInch / kMmPerInch; }

SnapLines snapLinesOf(const labelformat::LabelFormat& format, const std::vector<ObjectRef>& moving) {
    SnapLines lines;
    addEdges(lines, {0.0, 0.0, format.widthMm, format.heightMm});
    const std::set<ObjectRef, DrawingOrder> skipped(moving.begin(), moving.end());
    for (const ObjectRef object : allObjects(format)) {
        if (!skipped.contains(object)) addEdges(lines, placementOf(format, object).frame());
    }
    return lines;
}

Snapped snapMove(const MmRect& frame, double deltaXMm, double deltaYMm, const SnapLines& lines, const SnapRule& rule,
                 int dotsPerInch) {
    Snapped snapped;
    snapped.deltaXMm = snapAxis(frame.xMm, frame.widthMm, deltaXMm, lines.xMm, rule, dotsPerInch, snapped.guideXMm);
    snapped.deltaYMm = snapAxis(frame.yMm, frame.heightMm, deltaYMm, lines.yMm, rule, dotsPerInch, snapped.guideYMm);
    return snapped;
}

double snapCoordinate(double valueMm, const std::vector<double>& lines, const SnapRule& rule, int dotsPerInch,
                      std::optional<double>* guide) {
    if (rule.enabled) {
        if (auto line = nearestLine({valueMm}, lines, rule.toleranceMm)) {
            if (guide != nullptr) *guide = line->second;
            return line->second;
        }
        if (rule.gridMm > 0) return snapToGrid(valueMm, rule.gridMm);
    }
    return snapToDot(valueMm, dotsPerInch);
}

MmRect movedByDots(const MmRect& frame, int deltaXDots, int deltaYDots, int dotsPerInch) {
    // Both edges of a moving axis move by whole dots as the renderer rounds them, so the box
    // keeps its dots; an axis that does not move keeps its values as they are.
    MmRect moved = frame;
    const MmRect onDots =
        tidy(dotEdgeMm(wholeDots(frame.xMm, dotsPerInch) + deltaXDots, dotsPerInch),
             dotEdgeMm(wholeDots(frame.yMm, dotsPerInch) + deltaYDots, dotsPerInch),
             dotEdgeMm(wholeDots(frame.rightMm(), dotsPerInch) + deltaXDots, dotsPerInch),
             dotEdgeMm(wholeDots(frame.bottomMm(), dotsPerInch) + deltaYDots, dotsPerInch));
    if (deltaXDots != 0) {
        moved.xMm = onDots.xMm;
        moved.widthMm = onDots.widthMm;
    }
    if (deltaYDots != 0) {
        moved.yMm = onDots.yMm;
        moved.heightMm = onDots.heightMm;
    }
    return moved;
}

MmRect resizedByDots(const MmRect& frame, int deltaWidthDots, int deltaHeightDots, int dotsPerInch) {
    // The far edges move by whole dots; a box keeps at least one dot.
    const int left = wholeDots(frame.xMm, dotsPerInch);
    const int top = wholeDots(frame.yMm, dotsPerInch);
    const int right = std::max(wholeDots(frame.rightMm(), dotsPerInch) + deltaWidthDots, left + 1);
    const int bottom = std::max(wholeDots(frame.bottomMm(), dotsPerInch) + deltaHeightDots, top + 1);
    return tidy(frame.xMm, frame.yMm, deltaWidthDots != 0 ? dotEdgeMm(right, dotsPerInch) : frame.rightMm(),
                deltaHeightDots != 0 ? dotEdgeMm(bottom, dotsPerInch) : frame.bottomMm());
}

MmRect movedByMm(const MmRect& frame, double deltaXMm, double deltaYMm) {
    return tidy(frame.xMm + deltaXMm, frame.yMm + deltaYMm, frame.rightMm() + deltaXMm, frame.bottomMm() + deltaYMm);
}

MmRect resizedByMm(const MmRect& frame, double deltaWidthMm, double deltaHeightMm) {
    constexpr double kSmallestMm = 0.1;
    const double widthMm = std::max(frame.widthMm + deltaWidthMm, std::min(frame.widthMm, kSmallestMm));
    const double heightMm = std::max(frame.heightMm + deltaHeightMm, std::min(frame.heightMm, kSmallestMm));
    return tidy(frame.xMm, frame.yMm, frame.xMm + widthMm, frame.yMm + heightMm);
}

MmRect keptInside(const MmRect& frame, double labelWidthMm, double labelHeightMm) {
    MmRect kept = frame;
    kept.xMm = frame.widthMm >= labelWidthMm ? frame.xMm : keptWithin(frame.xMm, frame.widthMm, labelWidthMm);
    kept.yMm = frame.heightMm >= labelHeightMm ? frame.yMm : keptWithin(frame.yMm, frame.heightMm, labelHeightMm);
    return kept;
}

std::optional<Placement> turnedQuarter(const Placement& placement, labelformat::StaticType staticType, bool forField,
                                       double labelWidthMm, double labelHeightMm) {
    if (!forField && staticType == labelformat::StaticType::Image) return std::nullopt;
    const MmRect frame = placement.frame();
    const double centreX = frame.centreXMm();
    const double centreY = frame.centreYMm();
    Placement turned = placement;
    if (placement.isLine) {
        // (x, y) about the centre becomes (-y, x): clockwise with y growing downwards.
        const auto turn = [&](double x, double y, double& outX, double& outY) {
            outX = toHundredths(centreX - (y - centreY));
            outY = toHundredths(centreY + (x - centreX));
        };
        turn(placement.xMm, placement.yMm, turned.xMm, turned.yMm);
        turn(placement.x2Mm, placement.y2Mm, turned.x2Mm, turned.y2Mm);
        const MmRect inside = keptInside(turned.frame(), labelWidthMm, labelHeightMm);
        return withFrame(turned, inside);
    }
    const MmRect swapped{centreX - frame.heightMm / 2, centreY - frame.widthMm / 2, frame.heightMm, frame.widthMm};
    turned = withFrame(placement, keptInside(swapped, labelWidthMm, labelHeightMm));
    if (forField) turned.rotationDeg = (placement.rotationDeg + 90) % 360;
    return turned;
}

std::vector<MmRect> arrange(const std::vector<MmRect>& frames, Arrangement arrangement, double labelWidthMm,
                            double labelHeightMm) {
    if (frames.empty()) return {};
    std::vector<MmRect> result = frames;
    const MmRect bounds = std::accumulate(frames.begin() + 1, frames.end(), frames.front(), unite);
    const MmRect& first = frames.front();
    switch (arrangement) {
        case Arrangement::AlignLeft:
            for (MmRect& r : result) r.xMm = bounds.xMm;
            break;
        case Arrangement::AlignHorizontalCentre:
            for (MmRect& r : result) r.xMm = bounds.centreXMm() - r.widthMm / 2;
            break;
        case Arrangement::AlignRight:
            for (MmRect& r : result) r.xMm = bounds.rightMm() - r.widthMm;
            break;
        case Arrangement::AlignTop:
            for (MmRect& r : result) r.yMm = bounds.yMm;
            break;
        case Arrangement::AlignVerticalCentre:
            for (MmRect& r : result) r.yMm = bounds.centreYMm() - r.heightMm / 2;
            break;
        case Arrangement::AlignBottom:
            for (MmRect& r : result) r.yMm = bounds.bottomMm() - r.heightMm;
            break;
        case Arrangement::CentreInLabel: {
            // The selection moves as one, so that its own arrangement stays.
            const double shiftX = labelWidthMm / 2 - bounds.centreXMm();
            const double shiftY = labelHeightMm / 2 - bounds.centreYMm();
            for (MmRect& r : result) r = {r.xMm + shiftX, r.yMm + shiftY, r.widthMm, r.heightMm};
            break;
        }
        case Arrangement::DistributeHorizontally:
        case Arrangement::DistributeVertically: {
            const bool across = arrangement == Arrangement::DistributeHorizontally;
            std::vector<std::size_t> order(result.size());
            std::iota(order.begin(), order.end(), std::size_t{0});
            const auto low = [&](const MmRect& r) { return across ? r.xMm : r.yMm; };
            const auto size = [&](const MmRect& r) { return across ? r.widthMm : r.heightMm; };
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return low(result[a]) < low(result[b]); });
            double sizes = 0.0;
            for (const MmRect& r : result) sizes += size(r);
            const double span = across ? bounds.widthMm : bounds.heightMm;
            const double gap = result.size() > 1 ? (span - sizes) / static_cast<double>(result.size() - 1) : 0.0;
            double position = across ? bounds.xMm : bounds.yMm;
            for (std::size_t i : order) {
                (across ? result[i].xMm : result[i].yMm) = position;
                position += size(result[i]) + gap;
            }
            break;
        }
        case Arrangement::SameWidth:
            for (MmRect& r : result) r.widthMm = first.widthMm;
            break;
        case Arrangement::SameHeight:
            for (MmRect& r : result) r.heightMm = first.heightMm;
            break;
    }
    for (MmRect& r : result) {
        r = keptInside(r, labelWidthMm, labelHeightMm);
        r = tidy(r.xMm, r.yMm, r.rightMm(), r.bottomMm());
    }
    return result;
}

std::optional<int> nextFreeFieldNumber(const labelformat::LabelFormat& format, int from) {
    constexpr int kHighestNumber = std::numeric_limits<std::int16_t>::max();
    std::set<int> used;
    for (const labelformat::LabelField& field : format.fields) used.insert(field.number);
    for (int number = std::max(from, 1); number <= kHighestNumber; ++number) {
        if (!used.contains(number)) return number;
    }
    for (int number = 1; number < from && number <= kHighestNumber; ++number) {
        if (!used.contains(number)) return number;
    }
    return std::nullopt;
}

}  // namespace designer::gui
