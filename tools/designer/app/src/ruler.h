// SPDX-License-Identifier: MIT
// The rulers along the canvas's top and left edges: millimetres from the label's corner,
// or dots when the canvas is zoomed in far enough to tell them apart; a mark follows the
// cursor.
#pragma once

#include <QWidget>

#include <optional>

namespace designer::gui {

class CanvasView;

class Ruler : public QWidget {
public:
    static constexpr int kThicknessPx = 22;

    Ruler(const CanvasView& canvas, Qt::Orientation orientation, QWidget* parent);

    void showCursor(double viewportPosition);
    // True when the rulers count dots rather than millimetres.
    static bool countsDots(int pixelsPerDot);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Scale {
        double pixelsPerUnit;  // one millimetre or one dot on the screen
        double majorUnits;     // a numbered tick every so many units
        double minorUnits;
    };
    Scale scale() const;

    const CanvasView& canvas_;
    Qt::Orientation orientation_;
    std::optional<double> cursor_;
};

}  // namespace designer::gui
