// SPDX-License-Identifier: MIT
// The canvas: the renderer's 1-bit picture of the label, each dot a square of whole screen
// pixels, with the field boxes, their numbers, the handles and the barcodes' read-back
// marks drawn over it. It edits nothing itself: moves and resizes are handed to the window
// as new placements, previewed while a drag goes on and committed as one step at its end.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "geometry.h"
#include "render/layout.h"
#include "render/raster.h"

namespace designer::gui {

class Ruler;

// A barcode read back from the drawn dots: "4/4" when every read matched the data.
struct ScanMark {
    QString text;
    bool good = false;
};

class CanvasView : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int kZoomSteps[] = {1, 2, 4, 8};

    explicit CanvasView(QWidget* parent = nullptr);

    void setFormat(const labelformat::LabelFormat& format);
    // The renderer's picture of the label, drawn from the format last set.
    void setPicture(const render::Raster& picture);
    int dotsPerInch() const { return dotsPerInch_; }

    void setSelection(std::vector<ObjectRef> selection);
    const std::vector<ObjectRef>& selection() const { return selection_; }
    void setScanMarks(std::map<std::int16_t, ScanMark> marks);
    // Fields with a finding: true when it refuses the label or leaves it unreadable.
    void setFlaggedFields(std::map<std::int16_t, bool> fields);

    void setGridMm(double gridMm);
    double gridMm() const { return gridMm_; }
    void setSnapping(bool on) { snapping_ = on; }
    bool snapping() const { return snapping_; }
    void setGridShown(bool shown);
    void setOverlayShown(bool shown);

    // Fit: the largest whole number of pixels per dot with which the label fits, at least 1.
    void zoomToFit();
    void setZoom(int pixelsPerDot, std::optional<QPoint> anchor = std::nullopt);
    void zoomInOrOut(int steps, std::optional<QPoint> anchor = std::nullopt);
    int zoom() const { return zoom_; }
    bool fitting() const { return fitting_; }

    // The label's picture as the renderer drew it, one pixel a dot.
    QImage labelImage() const { return image_; }
    // The label area as the canvas shows it at the current zoom, overlay included if shown.
    QImage paintedLabel() const;

    // Where a point of the viewport lies on the label, in dots (fractions kept).
    QPointF dotsAt(QPointF viewportPoint) const;
    QPointF viewportPointOf(QPointF dots) const;

signals:
    void selectionChanged();
    void placementsPreviewed(const designer::gui::PlacementChanges& changes);
    void placementsCommitted(const designer::gui::PlacementChanges& changes, const QString& stepName);
    void turnRequested();
    void cursorMoved(double xMm, double yMm, int xDots, int yDots, bool onLabel);
    // `whole`: the label fits the canvas at this zoom.
    void zoomChanged(int pixelsPerDot, bool whole);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    enum class Handle { None, Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight, LineStart, LineEnd };
    enum class DragKind { None, Move, Resize, RubberBand, Pan };

    struct Drag {
        DragKind kind = DragKind::None;
        QPointF pressDots;
        QPoint pressViewport;
        Handle handle = Handle::None;
        ObjectRef resized;
        PlacementChanges startPlacements;  // the selection as it was at the press
        std::vector<ObjectRef> selectionBefore;
        bool moved = false;
        QPoint panScroll;
    };

    double pixelsPerDot() const;  // logical pixels: whole device pixels per dot
    QPointF labelOrigin() const;
    QSize labelSizeDots() const;
    void updateScrollBars();
    int fitZoom() const;
    bool labelFits() const;
    double mmPerPixel() const;
    QRectF viewportRectOf(const render::DotRect& dots) const;
    render::DotRect dotsOf(ObjectRef object) const;

    void paintLabel(QPainter& painter, const QRectF& exposed) const;
    void paintGrid(QPainter& painter) const;
    void paintOverlay(QPainter& painter) const;
    void paintObjectFrame(QPainter& painter, ObjectRef object) const;
    void paintHandles(QPainter& painter, ObjectRef object) const;
    void paintScanMark(QPainter& painter, const render::DotRect& box, const ScanMark& mark) const;
    void paintDragMarks(QPainter& painter) const;

    std::optional<ObjectRef> objectAt(QPointF viewportPoint) const;
    Handle handleAt(QPointF viewportPoint, ObjectRef& object) const;
    static Qt::CursorShape cursorFor(Handle handle);
    std::vector<std::pair<Handle, QPointF>> handlesOf(ObjectRef object) const;
    void selectByClick(std::optional<ObjectRef> hit, bool toggle);
    void selectInRubberBand(bool adding);
    void stepThroughFields(bool forward);
    void startDrag(QMouseEvent* event);
    PlacementChanges draggedPlacements(QPointF cursorDots, bool snap);
    PlacementChanges movedPlacements(QPointF cursorDots, bool snap);
    PlacementChanges resizedPlacement(QPointF cursorDots, bool snap);
    PlacementChanges selectionPlacements() const;
    bool nudge(QKeyEvent* event);
    void emitCursor(QPointF viewportPoint);

    Ruler* horizontalRuler_;
    Ruler* verticalRuler_;
    labelformat::LabelFormat format_;
    QImage image_;
    int dotsPerInch_ = 0;
    std::vector<ObjectRef> selection_;
    std::map<std::int16_t, ScanMark> scanMarks_;
    std::map<std::int16_t, bool> flaggedFields_;
    double gridMm_ = 1.0;
    bool snapping_ = true;
    bool gridShown_ = true;
    bool overlayShown_ = true;
    int zoom_ = 1;
    bool fitting_ = true;
    bool spaceHeld_ = false;
    Drag drag_;
    QRectF rubberBand_;  // viewport coordinates
    std::optional<double> guideXMm_;
    std::optional<double> guideYMm_;

    friend class Ruler;
};

}  // namespace designer::gui
