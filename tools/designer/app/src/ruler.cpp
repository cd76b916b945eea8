// SPDX-License-Identifier: MIT
#include "ruler.h"

#include <QPainter>

#include <cmath>

#include "canvas_view.h"

namespace designer::gui {
namespace {

constexpr double kLeastLabelGapPx = 48.0;  // numbered ticks at least this far apart
constexpr double kLeastTickGapPx = 4.0;
constexpr int kDotsFromZoom = 4;

// The first of 1, 2, 5, 10, 20, 50... units that leaves `gapPx` between ticks.
double niceStep(double pixelsPerUnit, double gapPx) {
    for (double decade = 0.1; decade < 1e6; decade *= 10) {
        for (double factor : {1.0, 2.0, 5.0}) {
            if (decade * factor * pixelsPerUnit >= gapPx) return decade * factor;
        }
    }
    return 1e6;
}

}  // namespace

Ruler::Ruler(const CanvasView& canvas, Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), canvas_(canvas), orientation_(orientation) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(orientation == Qt::Horizontal ? QStringLiteral("横の定規") : QStringLiteral("縦の定規"));
    setToolTip(QStringLiteral("定規: 拡大 1〜2 倍では mm、4 倍以上ではドットで目盛ります"));
}

bool Ruler::countsDots(int pixelsPerDot) { return pixelsPerDot >= kDotsFromZoom; }

void Ruler::showCursor(double viewportPosition) {
    cursor_ = viewportPosition;
    update();
}

Ruler::Scale Ruler::scale() const {
    const double pixelsPerDot = canvas_.pixelsPerDot();
    const double pixelsPerUnit =
        countsDots(canvas_.zoom()) ? pixelsPerDot : pixelsPerDot * canvas_.dotsPerInch() / 25.4;
    const double major = niceStep(pixelsPerUnit, kLeastLabelGapPx);
    double minor = major / 10;
    if (minor * pixelsPerUnit < kLeastTickGapPx) minor = major / 5;
    if (minor * pixelsPerUnit < kLeastTickGapPx) minor = major / 2;
    if (countsDots(canvas_.zoom())) minor = std::max(minor, 1.0);
    return {pixelsPerUnit, major, minor};
}

void Ruler::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (canvas_.dotsPerInch() <= 0) return;
    const bool across = orientation_ == Qt::Horizontal;
    const double origin = across ? canvas_.labelOrigin().x() : canvas_.labelOrigin().y();
    const double length = across ? width() : height();
    const Scale s = scale();
    painter.setPen(palette().windowText().color());
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    const auto firstTick = static_cast<long>(std::floor(-origin / s.pixelsPerUnit / s.minorUnits));
    const auto lastTick = static_cast<long>(std::ceil((length - origin) / s.pixelsPerUnit / s.minorUnits));
    const long perMajor = std::max(1L, std::lround(s.majorUnits / s.minorUnits));
    for (long tick = firstTick; tick <= lastTick; ++tick) {
        const double at = std::round(origin + static_cast<double>(tick) * s.minorUnits * s.pixelsPerUnit) + 0.5;
        const bool major = tick % perMajor == 0;
        const double tickLength = major ? kThicknessPx : kThicknessPx / 4.0;
        if (across) {
            painter.drawLine(QPointF(at, kThicknessPx - tickLength), QPointF(at, kThicknessPx));
        } else {
            painter.drawLine(QPointF(kThicknessPx - tickLength, at), QPointF(kThicknessPx, at));
        }
        if (!major) continue;
        const QString number = QString::number(static_cast<double>(tick) * s.minorUnits, 'g', 6);
        if (across) {
            painter.drawText(QPointF(at + 2, 10), number);
        } else {
            painter.save();
            painter.translate(10, at + 2);
            painter.rotate(90);
            painter.drawText(QPointF(0, 0), number);
            painter.restore();
        }
    }
    if (cursor_) {
        painter.setPen(QPen(QColor(230, 0, 200), 1));
        if (across) {
            painter.drawLine(QPointF(*cursor_, 0), QPointF(*cursor_, kThicknessPx));
        } else {
            painter.drawLine(QPointF(0, *cursor_), QPointF(kThicknessPx, *cursor_));
        }
    }
    painter.setPen(palette().mid().color());
    if (across) {
        painter.drawLine(0, height() - 1, width(), height() - 1);
    } else {
        painter.drawLine(width() - 1, 0, width() - 1, height());
    }
}

}  // namespace designer::gui
