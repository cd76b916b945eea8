// SPDX-License-Identifier: MIT
#include "canvas_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "ruler.h"

namespace designer::gui {
namespace {

constexpr int kMarginPx = 24;      // grey around the label
constexpr double kHandlePx = 7.0;  // a handle's side
constexpr double kSnapReachPx = 6.0;
constexpr double kLineReachPx = 4.0;
constexpr int kLargestFitZoom = 16;

const QColor kTextFieldColour(0, 110, 220);
const QColor kBarcodeFieldColour(0, 140, 90);
const QColor kStaticColour(120, 120, 120);
const QColor kSelectionColour(255, 130, 0);
const QColor kFlaggedColour(220, 0, 0);
const QColor kNotedColour(190, 150, 0);
const QColor kGuideColour(230, 0, 200);
const QColor kGridColour(0, 160, 255, 40);

QImage imageOf(const render::Raster& raster) {
    QImage image(raster.widthDots, raster.heightDots, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});  // a set bit is a black dot
    const auto rowBytes = static_cast<std::size_t>(image.bytesPerLine());
    const std::size_t copied = std::min(rowBytes, raster.strideBytes);
    for (int row = 0; row < raster.heightDots; ++row) {
        std::uint8_t* line = image.scanLine(row);
        std::fill(line, line + rowBytes, std::uint8_t{0});
        std::copy_n(raster.bits.data() + static_cast<std::size_t>(row) * raster.strideBytes, copied, line);
    }
    return image;
}

bool isFieldNumberOrder(const labelformat::LabelField& a, const labelformat::LabelField& b) { return a.number < b.number; }

double distanceToSegment(QPointF point, QPointF from, QPointF to) {
    const QPointF along = to - from;
    const double lengthSquared = QPointF::dotProduct(along, along);
    double t = lengthSquared > 0 ? QPointF::dotProduct(point - from, along) / lengthSquared : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF nearest = from + t * along;
    return std::hypot(point.x() - nearest.x(), point.y() - nearest.y());
}

}  // namespace

CanvasView::CanvasView(QWidget* parent)
    : QAbstractScrollArea(parent),
      horizontalRuler_(new Ruler(*this, Qt::Horizontal, this)),
      verticalRuler_(new Ruler(*this, Qt::Vertical, this)) {
    setObjectName(QStringLiteral("canvas"));
    setAccessibleName(QStringLiteral("ラベルの画面"));
    setAccessibleDescription(QStringLiteral(
        "プリンターが受け取るドットのままのラベルです。Tab と Shift+Tab で項目を番号順に選び、"
        "矢印で 1 ドット、Shift+矢印で 1 mm 動かし、Alt+矢印で大きさを変えます。"
        "R で 90 度回します。Ctrl+Tab で次の欄へ移ります。"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setViewportMargins(Ruler::kThicknessPx, Ruler::kThicknessPx, 0, 0);
}

// ---- Contents ----

void CanvasView::setFormat(const labelformat::LabelFormat& format) {
    format_ = format;
    // Objects an undo took away are no longer selected.
    const auto gone = std::erase_if(selection_, [&](ObjectRef object) {
        return isField(object) ? object.index >= format_.fields.size() : object.index >= format_.statics.size();
    });
    viewport()->update();
    if (gone > 0) emit selectionChanged();
}

void CanvasView::setPicture(const render::Raster& picture) {
    const QSize before = labelSizeDots();
    image_ = imageOf(picture);
    dotsPerInch_ = picture.dotsPerInch;
    if (labelSizeDots() != before) {
        if (fitting_) zoomToFit();
        updateScrollBars();
    }
    viewport()->update();
    horizontalRuler_->update();
    verticalRuler_->update();
}

void CanvasView::setSelection(std::vector<ObjectRef> selection) {
    if (selection == selection_) return;
    selection_ = std::move(selection);
    viewport()->update();
    emit selectionChanged();
}

void CanvasView::setScanMarks(std::map<std::int16_t, ScanMark> marks) {
    scanMarks_ = std::move(marks);
    viewport()->update();
}

void CanvasView::setFlaggedFields(std::map<std::int16_t, bool> fields) {
    flaggedFields_ = std::move(fields);
    viewport()->update();
}

void CanvasView::setGridMm(double gridMm) {
    gridMm_ = gridMm;
    viewport()->update();
}

void CanvasView::setGridShown(bool shown) {
    gridShown_ = shown;
    viewport()->update();
}

void CanvasView::setOverlayShown(bool shown) {
    overlayShown_ = shown;
    viewport()->update();
}

// ---- Zoom and scrolling ----

double CanvasView::pixelsPerDot() const { return zoom_ / devicePixelRatioF(); }

QSize CanvasView::labelSizeDots() const { return image_.size(); }

QPointF CanvasView::labelOrigin() const {
    const QSizeF label = QSizeF(labelSizeDots()) * pixelsPerDot();
    const QSize area = viewport()->size();
    const double x = label.width() + 2 * kMarginPx <= area.width() ? std::floor((area.width() - label.width()) / 2)
                                                                   : kMarginPx - horizontalScrollBar()->value();
    const double y = label.height() + 2 * kMarginPx <= area.height() ? std::floor((area.height() - label.height()) / 2)
                                                                     : kMarginPx - verticalScrollBar()->value();
    return {x, y};
}

QPointF CanvasView::dotsAt(QPointF viewportPoint) const { return (viewportPoint - labelOrigin()) / pixelsPerDot(); }

QPointF CanvasView::viewportPointOf(QPointF dots) const { return labelOrigin() + dots * pixelsPerDot(); }

double CanvasView::mmPerPixel() const { return dotsToMm(1.0 / pixelsPerDot(), std::max(dotsPerInch(), 1)); }

void CanvasView::updateScrollBars() {
    const QSizeF label = QSizeF(labelSizeDots()) * pixelsPerDot();
    const QSize area = viewport()->size();
    const auto range = [](double content, int shown) { return std::max(0, static_cast<int>(std::ceil(content)) + 2 * kMarginPx - shown); };
    horizontalScrollBar()->setRange(0, range(label.width(), area.width()));
    verticalScrollBar()->setRange(0, range(label.height(), area.height()));
    horizontalScrollBar()->setPageStep(area.width());
    verticalScrollBar()->setPageStep(area.height());
    horizontalScrollBar()->setSingleStep(std::max(1, zoom_ * 8));
    verticalScrollBar()->setSingleStep(std::max(1, zoom_ * 8));
}

int CanvasView::fitZoom() const {
    const QSize label = labelSizeDots();
    if (label.isEmpty()) return 1;
    const QSize area = viewport()->size() - QSize(2 * kMarginPx, 2 * kMarginPx);
    const double ratio = devicePixelRatioF();
    const int across = static_cast<int>(area.width() * ratio) / label.width();
    const int down = static_cast<int>(area.height() * ratio) / label.height();
    return std::clamp(std::min(across, down), 1, kLargestFitZoom);
}

bool CanvasView::labelFits() const {
    const QSizeF label = QSizeF(labelSizeDots()) * pixelsPerDot();
    return label.width() + 2 * kMarginPx <= viewport()->width() && label.height() + 2 * kMarginPx <= viewport()->height();
}

void CanvasView::zoomToFit() {
    fitting_ = true;
    zoom_ = fitZoom();
    updateScrollBars();
    viewport()->update();
    horizontalRuler_->update();
    verticalRuler_->update();
    emit zoomChanged(zoom_, labelFits());
}

void CanvasView::setZoom(int pixelsPerDot, std::optional<QPoint> anchor) {
    const QPoint fixed = anchor.value_or(viewport()->rect().center());
    const QPointF dots = dotsAt(fixed);
    fitting_ = false;
    zoom_ = std::clamp(pixelsPerDot, 1, kLargestFitZoom);
    updateScrollBars();
    // The dot that was under the anchor stays under it.
    const QPointF moved = viewportPointOf(dots) - QPointF(fixed);
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + static_cast<int>(std::lround(moved.x())));
    verticalScrollBar()->setValue(verticalScrollBar()->value() + static_cast<int>(std::lround(moved.y())));
    viewport()->update();
    horizontalRuler_->update();
    verticalRuler_->update();
    emit zoomChanged(zoom_, fitting_ && labelFits());
}

void CanvasView::zoomInOrOut(int steps, std::optional<QPoint> anchor) {
    const auto* current = std::find(std::begin(kZoomSteps), std::end(kZoomSteps), zoom_);
    std::ptrdiff_t index = current != std::end(kZoomSteps) ? current - std::begin(kZoomSteps)
                           : steps > 0 ? std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom_) - std::begin(kZoomSteps) - 1
                                       : std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom_) - std::begin(kZoomSteps);
    index = std::clamp<std::ptrdiff_t>(index + steps, 0, std::size(kZoomSteps) - 1);
    setZoom(kZoomSteps[index], anchor);
}

void CanvasView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const QRect area = viewport()->geometry();
    horizontalRuler_->setGeometry(area.left(), area.top() - Ruler::kThicknessPx, area.width(), Ruler::kThicknessPx);
    verticalRuler_->setGeometry(area.left() - Ruler::kThicknessPx, area.top(), Ruler::kThicknessPx, area.height());
    if (fitting_) {
        zoom_ = fitZoom();
        emit zoomChanged(zoom_, labelFits());
    }
    updateScrollBars();
}

void CanvasView::scrollContentsBy(int, int) {
    viewport()->update();
    horizontalRuler_->update();
    verticalRuler_->update();
}

// ---- Painting ----

QRectF CanvasView::viewportRectOf(const render::DotRect& dots) const {
    const QPointF topLeft = viewportPointOf(QPointF(dots.xDots, dots.yDots));
    return {topLeft, QSizeF(dots.widthDots, dots.heightDots) * pixelsPerDot()};
}

render::DotRect CanvasView::dotsOf(ObjectRef object) const {
    const MmRect frame = placementOf(format_, object).frame();
    return render::rectInDots(frame.xMm, frame.yMm, frame.widthMm, frame.heightMm, std::max(dotsPerInch(), 1));
}

void CanvasView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    paintLabel(painter, event->rect());
    if (gridShown_) paintGrid(painter);
    if (overlayShown_) paintOverlay(painter);
    paintDragMarks(painter);
}

QImage CanvasView::paintedLabel() const {
    // Whole device pixels per dot, as on the screen: painted in the screen's logical pixels.
    QImage image(labelSizeDots() * zoom_, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatioF());
    image.fill(Qt::white);
    QPainter painter(&image);
    // The same painting as on screen, with the label's corner at the image's.
    painter.translate(-labelOrigin());
    paintLabel(painter, QRectF(labelOrigin(), QSizeF(labelSizeDots()) * pixelsPerDot()));
    if (gridShown_) paintGrid(painter);
    if (overlayShown_) paintOverlay(painter);
    return image;
}

void CanvasView::paintLabel(QPainter& painter, const QRectF& exposed) const {
    if (image_.isNull()) return;
    const double scale = pixelsPerDot();
    // Only the dots in view, each a square of whole device pixels: no smoothing.
    const QRectF labelArea(labelOrigin(), QSizeF(image_.size()) * scale);
    const QRectF shown = labelArea.intersected(exposed.adjusted(-scale, -scale, scale, scale));
    if (shown.isEmpty()) return;
    const QPointF firstDot = (shown.topLeft() - labelArea.topLeft()) / scale;
    const QPointF lastDot = (shown.bottomRight() - labelArea.topLeft()) / scale;
    const QRect source = QRect(QPoint(static_cast<int>(std::floor(firstDot.x())), static_cast<int>(std::floor(firstDot.y()))),
                               QPoint(static_cast<int>(std::ceil(lastDot.x())) - 1, static_cast<int>(std::ceil(lastDot.y())) - 1))
                             .intersected(image_.rect());
    const QRectF target(labelArea.topLeft() + QPointF(source.topLeft()) * scale, QSizeF(source.size()) * scale);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, image_, source);
}

void CanvasView::paintGrid(QPainter& painter) const {
    const int dpi = dotsPerInch();
    if (gridMm_ <= 0 || dpi <= 0) return;
    const double stepPx = mmToDotsExact(gridMm_, dpi) * pixelsPerDot();
    if (stepPx < 6.0) return;  // too dense to help
    painter.save();
    painter.setPen(QPen(kGridColour, 0));
    const QRectF label(labelOrigin(), QSizeF(labelSizeDots()) * pixelsPerDot());
    for (double mm = gridMm_; mm < format_.widthMm; mm += gridMm_) {
        const double x = std::round(label.left() + mmToDotsExact(mm, dpi) * pixelsPerDot()) + 0.5;
        painter.drawLine(QPointF(x, label.top()), QPointF(x, label.bottom()));
    }
    for (double mm = gridMm_; mm < format_.heightMm; mm += gridMm_) {
        const double y = std::round(label.top() + mmToDotsExact(mm, dpi) * pixelsPerDot()) + 0.5;
        painter.drawLine(QPointF(label.left(), y), QPointF(label.right(), y));
    }
    painter.restore();
}

void CanvasView::paintOverlay(QPainter& painter) const {
    painter.save();
    for (const ObjectRef object : allObjects(format_)) paintObjectFrame(painter, object);
    for (const ObjectRef object : selection_) paintHandles(painter, object);
    for (const auto& [number, mark] : scanMarks_) {
        if (const labelformat::LabelField* field = format_.findField(number)) {
            paintScanMark(painter, render::rectInDots(field->xMm, field->yMm, field->widthMm, field->heightMm, dotsPerInch()),
                          mark);
        }
    }
    painter.restore();
}

void CanvasView::paintObjectFrame(QPainter& painter, ObjectRef object) const {
    const bool selected = std::find(selection_.begin(), selection_.end(), object) != selection_.end();
    const QRectF box = viewportRectOf(dotsOf(object)).adjusted(0.5, 0.5, -0.5, -0.5);
    if (!isField(object)) {
        const labelformat::StaticElement& element = format_.statics[object.index];
        if (!selected && element.type == labelformat::StaticType::Line) return;  // the line itself shows it
        painter.setPen(QPen(selected ? kSelectionColour : kStaticColour, selected ? 2 : 0, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        if (element.type == labelformat::StaticType::Line) {
            const int dpi = dotsPerInch();
            painter.drawLine(viewportPointOf(QPointF(mmToDotsExact(element.xMm, dpi), mmToDotsExact(element.yMm, dpi))),
                             viewportPointOf(QPointF(mmToDotsExact(element.x2Mm, dpi), mmToDotsExact(element.y2Mm, dpi))));
        } else {
            painter.drawRect(box);
        }
        return;
    }
    const labelformat::LabelField& field = format_.fields[object.index];
    const auto flag = flaggedFields_.find(field.number);
    const bool flagged = flag != flaggedFields_.end();
    const QColor colour = flagged ? (flag->second ? kFlaggedColour : kNotedColour)
                          : field.type == labelformat::FieldType::Barcode ? kBarcodeFieldColour
                                                                          : kTextFieldColour;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(selected ? kSelectionColour : colour, selected || flagged ? 2 : 0));
    painter.drawRect(box);
    // The number in a tag at the box's top-left corner.
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    const QString number = QString::number(field.number);
    const QRectF tag(box.topLeft(), QSizeF(painter.fontMetrics().horizontalAdvance(number) + 4, 12));
    painter.fillRect(tag, selected ? kSelectionColour : colour);
    painter.setPen(Qt::white);
    painter.drawText(tag, Qt::AlignCenter, number);
}

std::vector<std::pair<CanvasView::Handle, QPointF>> CanvasView::handlesOf(ObjectRef object) const {
    const Placement placement = placementOf(format_, object);
    const int dpi = std::max(dotsPerInch(), 1);
    if (placement.isLine) {
        return {{Handle::LineStart, viewportPointOf(QPointF(mmToDotsExact(placement.xMm, dpi), mmToDotsExact(placement.yMm, dpi)))},
                {Handle::LineEnd, viewportPointOf(QPointF(mmToDotsExact(placement.x2Mm, dpi), mmToDotsExact(placement.y2Mm, dpi)))}};
    }
    const QRectF box = viewportRectOf(dotsOf(object));
    const QPointF centre = box.center();
    return {{Handle::TopLeft, box.topLeft()},         {Handle::Top, {centre.x(), box.top()}},
            {Handle::TopRight, box.topRight()},       {Handle::Left, {box.left(), centre.y()}},
            {Handle::Right, {box.right(), centre.y()}}, {Handle::BottomLeft, box.bottomLeft()},
            {Handle::Bottom, {centre.x(), box.bottom()}}, {Handle::BottomRight, box.bottomRight()}};
}

void CanvasView::paintHandles(QPainter& painter, ObjectRef object) const {
    const bool primary = !selection_.empty() && selection_.back() == object;
    painter.setPen(QPen(kSelectionColour.darker(130), 0));
    painter.setBrush(primary ? QBrush(kSelectionColour) : QBrush(Qt::white));
    for (const auto& [handle, centre] : handlesOf(object)) {
        painter.drawRect(QRectF(centre - QPointF(kHandlePx / 2, kHandlePx / 2), QSizeF(kHandlePx, kHandlePx)));
    }
}

void CanvasView::paintScanMark(QPainter& painter, const render::DotRect& box, const ScanMark& mark) const {
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    const QRectF area = viewportRectOf(box);
    const double width = painter.fontMetrics().horizontalAdvance(mark.text) + 6;
    const QRectF badge(area.right() - width, area.bottom() - 13, width, 13);
    painter.fillRect(badge, mark.good ? QColor(0, 140, 60, 220) : QColor(220, 0, 0, 230));
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, mark.text);
}

void CanvasView::paintDragMarks(QPainter& painter) const {
    painter.save();
    if (drag_.kind == DragKind::RubberBand && !rubberBand_.isEmpty()) {
        painter.setPen(QPen(kSelectionColour, 0, Qt::DashLine));
        painter.setBrush(QColor(255, 130, 0, 30));
        painter.drawRect(rubberBand_);
    }
    const int dpi = std::max(dotsPerInch(), 1);
    painter.setPen(QPen(kGuideColour, 0, Qt::DashLine));
    if (guideXMm_) {
        const double x = viewportPointOf(QPointF(mmToDotsExact(*guideXMm_, dpi), 0)).x();
        painter.drawLine(QPointF(x, 0), QPointF(x, viewport()->height()));
    }
    if (guideYMm_) {
        const double y = viewportPointOf(QPointF(0, mmToDotsExact(*guideYMm_, dpi))).y();
        painter.drawLine(QPointF(0, y), QPointF(viewport()->width(), y));
    }
    painter.restore();
}

// ---- Selecting ----

Qt::CursorShape CanvasView::cursorFor(Handle handle) {
    switch (handle) {
        case Handle::Left:
        case Handle::Right: return Qt::SizeHorCursor;
        case Handle::Top:
        case Handle::Bottom: return Qt::SizeVerCursor;
        case Handle::TopLeft:
        case Handle::BottomRight: return Qt::SizeFDiagCursor;
        case Handle::TopRight:
        case Handle::BottomLeft: return Qt::SizeBDiagCursor;
        case Handle::LineStart:
        case Handle::LineEnd: return Qt::CrossCursor;
        case Handle::None: break;
    }
    return Qt::ArrowCursor;
}

std::optional<ObjectRef> CanvasView::objectAt(QPointF viewportPoint) const {
    // Fields lie over the static elements, later ones over earlier ones.
    const std::vector<ObjectRef> objects = allObjects(format_);
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        const ObjectRef object = *it;
        const Placement placement = placementOf(format_, object);
        if (placement.isLine) {
            const int dpi = std::max(dotsPerInch(), 1);
            const QPointF from = viewportPointOf(QPointF(mmToDotsExact(placement.xMm, dpi), mmToDotsExact(placement.yMm, dpi)));
            const QPointF to = viewportPointOf(QPointF(mmToDotsExact(placement.x2Mm, dpi), mmToDotsExact(placement.y2Mm, dpi)));
            if (distanceToSegment(viewportPoint, from, to) <= kLineReachPx) return object;
        } else if (viewportRectOf(dotsOf(object)).adjusted(-1, -1, 1, 1).contains(viewportPoint)) {
            // A static box is taken by its outline only, so that fields inside it stay reachable.
            if (!isField(object) && format_.statics[object.index].type == labelformat::StaticType::Box &&
                !format_.statics[object.index].fill &&
                viewportRectOf(dotsOf(object)).adjusted(kLineReachPx, kLineReachPx, -kLineReachPx, -kLineReachPx).contains(viewportPoint)) {
                continue;
            }
            return object;
        }
    }
    return std::nullopt;
}

CanvasView::Handle CanvasView::handleAt(QPointF viewportPoint, ObjectRef& object) const {
    if (selection_.size() != 1) return Handle::None;  // several objects move together, one resizes
    for (const auto& [handle, centre] : handlesOf(selection_.front())) {
        if (std::abs(viewportPoint.x() - centre.x()) <= kHandlePx / 2 + 1 &&
            std::abs(viewportPoint.y() - centre.y()) <= kHandlePx / 2 + 1) {
            object = selection_.front();
            return handle;
        }
    }
    return Handle::None;
}

void CanvasView::selectByClick(std::optional<ObjectRef> hit, bool toggle) {
    std::vector<ObjectRef> selection = selection_;
    if (!hit) {
        if (!toggle) selection.clear();
    } else if (toggle) {
        const auto found = std::find(selection.begin(), selection.end(), *hit);
        if (found != selection.end()) {
            selection.erase(found);
        } else {
            selection.push_back(*hit);
        }
    } else if (std::find(selection.begin(), selection.end(), *hit) == selection.end()) {
        selection = {*hit};
    }
    setSelection(std::move(selection));
}

void CanvasView::selectInRubberBand(bool adding) {
    std::vector<ObjectRef> selection = adding ? selection_ : std::vector<ObjectRef>{};
    for (const ObjectRef object : allObjects(format_)) {
        if (rubberBand_.contains(viewportRectOf(dotsOf(object))) &&
            std::find(selection.begin(), selection.end(), object) == selection.end()) {
            selection.push_back(object);
        }
    }
    setSelection(std::move(selection));
}

void CanvasView::stepThroughFields(bool forward) {
    if (format_.fields.empty()) return;
    std::vector<std::size_t> order(format_.fields.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return isFieldNumberOrder(format_.fields[a], format_.fields[b]); });
    std::size_t next = forward ? 0 : order.size() - 1;
    if (!selection_.empty() && isField(selection_.back())) {
        const auto at = std::find(order.begin(), order.end(), selection_.back().index);
        if (at != order.end()) {
            const auto position = static_cast<std::size_t>(at - order.begin());
            next = forward ? (position + 1) % order.size() : (position + order.size() - 1) % order.size();
        }
    }
    setSelection({fieldAt(order[next])});
    // Keep the field in view.
    const QRectF box = viewportRectOf(dotsOf(selection_.front()));
    if (!viewport()->rect().contains(box.toRect())) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + static_cast<int>(box.center().x()) - viewport()->width() / 2);
        verticalScrollBar()->setValue(verticalScrollBar()->value() + static_cast<int>(box.center().y()) - viewport()->height() / 2);
    }
}

// ---- Dragging ----

PlacementChanges CanvasView::selectionPlacements() const {
    PlacementChanges placements;
    for (const ObjectRef object : selection_) placements.emplace_back(object, placementOf(format_, object));
    return placements;
}

void CanvasView::startDrag(QMouseEvent* event) {
    drag_ = Drag{};
    drag_.pressViewport = event->position().toPoint();
    drag_.pressDots = dotsAt(event->position());
    drag_.selectionBefore = selection_;
    const bool panning = event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && spaceHeld_);
    if (panning) {
        drag_.kind = DragKind::Pan;
        drag_.panScroll = {horizontalScrollBar()->value(), verticalScrollBar()->value()};
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const bool toggle = event->modifiers().testFlag(Qt::ControlModifier);
    ObjectRef grabbed;
    if (!toggle && (drag_.handle = handleAt(event->position(), grabbed)) != Handle::None) {
        drag_.kind = DragKind::Resize;
        drag_.resized = grabbed;
        drag_.startPlacements = selectionPlacements();
        return;
    }
    const std::optional<ObjectRef> hit = objectAt(event->position());
    selectByClick(hit, toggle);
    if (hit && std::find(selection_.begin(), selection_.end(), *hit) != selection_.end()) {
        drag_.kind = DragKind::Move;
        drag_.startPlacements = selectionPlacements();
    } else if (!hit) {
        drag_.kind = DragKind::RubberBand;
        rubberBand_ = QRectF();
    }
}

PlacementChanges CanvasView::draggedPlacements(QPointF cursorDots, bool snap) {
    guideXMm_.reset();
    guideYMm_.reset();
    return drag_.kind == DragKind::Resize ? resizedPlacement(cursorDots, snap) : movedPlacements(cursorDots, snap);
}

PlacementChanges CanvasView::movedPlacements(QPointF cursorDots, bool snap) {
    const int dpi = std::max(dotsPerInch(), 1);
    MmRect bounds = drag_.startPlacements.front().second.frame();
    std::vector<ObjectRef> moving;
    for (const auto& [object, placement] : drag_.startPlacements) {
        bounds = unite(bounds, placement.frame());
        moving.push_back(object);
    }
    const QPointF deltaDots = cursorDots - drag_.pressDots;
    const SnapRule rule{snap, gridMm_, kSnapReachPx * mmPerPixel()};
    const Snapped snapped =
        snapMove(bounds, dotsToMm(deltaDots.x(), dpi), dotsToMm(deltaDots.y(), dpi), snapLinesOf(format_, moving), rule, dpi);
    guideXMm_ = snapped.guideXMm;
    guideYMm_ = snapped.guideYMm;
    // The selection moves as one and stays on the label.
    const MmRect moved{bounds.xMm + snapped.deltaXMm, bounds.yMm + snapped.deltaYMm, bounds.widthMm, bounds.heightMm};
    const MmRect kept = keptInside(moved, format_.widthMm, format_.heightMm);
    const double shiftX = kept.xMm - bounds.xMm;
    const double shiftY = kept.yMm - bounds.yMm;
    PlacementChanges changes;
    for (const auto& [object, placement] : drag_.startPlacements) {
        const MmRect frame = placement.frame();
        changes.emplace_back(object, withFrame(placement, {frame.xMm + shiftX, frame.yMm + shiftY, frame.widthMm, frame.heightMm}));
    }
    return changes;
}

PlacementChanges CanvasView::resizedPlacement(QPointF cursorDots, bool snap) {
    const int dpi = std::max(dotsPerInch(), 1);
    const auto start = std::find_if(drag_.startPlacements.begin(), drag_.startPlacements.end(),
                                    [&](const auto& entry) { return entry.first == drag_.resized; });
    if (start == drag_.startPlacements.end()) return {};
    Placement placement = start->second;
    const SnapLines lines = snapLinesOf(format_, {drag_.resized});
    const SnapRule rule{snap, gridMm_, kSnapReachPx * mmPerPixel()};
    const double cursorX = std::clamp(dotsToMm(cursorDots.x(), dpi), 0.0, format_.widthMm);
    const double cursorY = std::clamp(dotsToMm(cursorDots.y(), dpi), 0.0, format_.heightMm);
    const auto snapX = [&](double x) { return snapCoordinate(x, lines.xMm, rule, dpi, &guideXMm_); };
    const auto snapY = [&](double y) { return snapCoordinate(y, lines.yMm, rule, dpi, &guideYMm_); };
    if (drag_.handle == Handle::LineStart || drag_.handle == Handle::LineEnd) {
        const bool startEnd = drag_.handle == Handle::LineStart;
        (startEnd ? placement.xMm : placement.x2Mm) = snapX(cursorX);
        (startEnd ? placement.yMm : placement.y2Mm) = snapY(cursorY);
        return {{drag_.resized, placement}};
    }
    const MmRect frame = placement.frame();
    const double smallest = dotsToMm(1.0, dpi);
    double left = frame.xMm, top = frame.yMm, right = frame.rightMm(), bottom = frame.bottomMm();
    const Handle h = drag_.handle;
    if (h == Handle::Left || h == Handle::TopLeft || h == Handle::BottomLeft) left = std::min(snapX(cursorX), right - smallest);
    if (h == Handle::Right || h == Handle::TopRight || h == Handle::BottomRight) right = std::max(snapX(cursorX), left + smallest);
    if (h == Handle::Top || h == Handle::TopLeft || h == Handle::TopRight) top = std::min(snapY(cursorY), bottom - smallest);
    if (h == Handle::Bottom || h == Handle::BottomLeft || h == Handle::BottomRight) bottom = std::max(snapY(cursorY), top + smallest);
    return {{drag_.resized, withFrame(placement, {left, top, right - left, bottom - top})}};
}

void CanvasView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    startDrag(event);
    viewport()->update();
}

void CanvasView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF point = event->position();
    emitCursor(point);
    switch (drag_.kind) {
        case DragKind::None: {
            ObjectRef object;
            const Handle handle = handleAt(point, object);
            viewport()->setCursor(spaceHeld_ ? Qt::OpenHandCursor : cursorFor(handle));
            return;
        }
        case DragKind::Pan: {
            const QPoint moved = point.toPoint() - drag_.pressViewport;
            horizontalScrollBar()->setValue(drag_.panScroll.x() - moved.x());
            verticalScrollBar()->setValue(drag_.panScroll.y() - moved.y());
            return;
        }
        case DragKind::RubberBand:
            rubberBand_ = QRectF(drag_.pressViewport, point).normalized();
            viewport()->update();
            return;
        case DragKind::Move:
        case DragKind::Resize:
            if (!drag_.moved && (point.toPoint() - drag_.pressViewport).manhattanLength() < QApplication::startDragDistance()) {
                return;
            }
            drag_.moved = true;
            emit placementsPreviewed(draggedPlacements(dotsAt(point), snapping_ && !event->modifiers().testFlag(Qt::ShiftModifier)));
            viewport()->update();
            return;
    }
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event) {
    const Drag finished = drag_;
    const bool snap = snapping_ && !event->modifiers().testFlag(Qt::ShiftModifier);
    if ((finished.kind == DragKind::Move || finished.kind == DragKind::Resize) && finished.moved) {
        const PlacementChanges changes = draggedPlacements(dotsAt(event->position()), snap);
        drag_ = Drag{};
        emit placementsCommitted(changes, finished.kind == DragKind::Move ? QStringLiteral("移動") : QStringLiteral("大きさの変更"));
    } else if (finished.kind == DragKind::Move && !event->modifiers().testFlag(Qt::ControlModifier)) {
        // A click on one of several selected objects selects it alone.
        drag_ = Drag{};
        if (auto hit = objectAt(event->position())) setSelection({*hit});
    } else if (finished.kind == DragKind::RubberBand) {
        selectInRubberBand(event->modifiers().testFlag(Qt::ControlModifier));
        drag_ = Drag{};
    }
    drag_ = Drag{};
    rubberBand_ = QRectF();
    guideXMm_.reset();
    guideYMm_.reset();
    viewport()->setCursor(spaceHeld_ ? Qt::OpenHandCursor : Qt::ArrowCursor);
    viewport()->update();
}

void CanvasView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers().testFlag(Qt::ControlModifier)) {
        const int steps = event->angleDelta().y() > 0 ? 1 : event->angleDelta().y() < 0 ? -1 : 0;
        if (steps != 0) zoomInOrOut(steps, event->position().toPoint());
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

// ---- Keys ----

bool CanvasView::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool control = key->modifiers().testFlag(Qt::ControlModifier);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            if (control) {
                // Ctrl+Tab leaves the canvas, as Tab leaves any other field.
                focusNextPrevChild(key->key() == Qt::Key_Tab && !key->modifiers().testFlag(Qt::ShiftModifier));
            } else {
                stepThroughFields(key->key() == Qt::Key_Tab);
            }
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool CanvasView::nudge(QKeyEvent* event) {
    int dx = 0, dy = 0;
    switch (event->key()) {
        case Qt::Key_Left: dx = -1; break;
        case Qt::Key_Right: dx = 1; break;
        case Qt::Key_Up: dy = -1; break;
        case Qt::Key_Down: dy = 1; break;
        default: return false;
    }
    if (selection_.empty()) return true;
    const int dpi = std::max(dotsPerInch(), 1);
    const bool resize = event->modifiers().testFlag(Qt::AltModifier);
    const bool wholeMm = event->modifiers().testFlag(Qt::ShiftModifier);
    PlacementChanges changes;
    MmRect before = placementOf(format_, selection_.front()).frame();
    MmRect after = before;
    for (const ObjectRef object : selection_) {
        const Placement placement = placementOf(format_, object);
        const MmRect frame = placement.frame();
        const MmRect changed = resize ? (wholeMm ? resizedByMm(frame, dx, dy) : resizedByDots(frame, dx, dy, dpi))
                                      : (wholeMm ? movedByMm(frame, dx, dy) : movedByDots(frame, dx, dy, dpi));
        before = unite(before, frame);
        after = unite(after, changed);
        changes.emplace_back(object, withFrame(placement, changed));
    }
    // Nothing leaves the label by a key: a step that would is not taken.
    const auto inside = [&](const MmRect& r) {
        constexpr double kSlackMm = 1e-6;
        return r.xMm >= -kSlackMm && r.yMm >= -kSlackMm && r.rightMm() <= format_.widthMm + kSlackMm &&
               r.bottomMm() <= format_.heightMm + kSlackMm;
    };
    if (inside(before) && !inside(after)) return true;
    emit placementsCommitted(changes, resize ? QStringLiteral("大きさの変更") : QStringLiteral("移動"));
    return true;
}

void CanvasView::keyPressEvent(QKeyEvent* event) {
    if (nudge(event)) return;
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        spaceHeld_ = true;
        viewport()->setCursor(Qt::OpenHandCursor);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (drag_.kind == DragKind::Move || drag_.kind == DragKind::Resize) {
            emit placementsPreviewed(drag_.startPlacements);  // the drag is called off
            drag_ = Drag{};
        } else {
            setSelection({});
        }
        viewport()->update();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CanvasView::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        spaceHeld_ = false;
        viewport()->setCursor(Qt::ArrowCursor);
        return;
    }
    QAbstractScrollArea::keyReleaseEvent(event);
}

void CanvasView::focusOutEvent(QFocusEvent* event) {
    spaceHeld_ = false;
    QAbstractScrollArea::focusOutEvent(event);
}

void CanvasView::emitCursor(QPointF viewportPoint) {
    const int dpi = std::max(dotsPerInch(), 1);
    const QPointF dots = dotsAt(viewportPoint);
    const int xDots = static_cast<int>(std::floor(dots.x()));
    const int yDots = static_cast<int>(std::floor(dots.y()));
    const bool onLabel = xDots >= 0 && yDots >= 0 && xDots < labelSizeDots().width() && yDots < labelSizeDots().height();
    horizontalRuler_->showCursor(viewportPoint.x());
    verticalRuler_->showCursor(viewportPoint.y());
    emit cursorMoved(dotsToMm(dots.x(), dpi), dotsToMm(dots.y(), dpi), xDots, yDots, onLabel);
}

}  // namespace designer::gui
