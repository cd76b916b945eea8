// SPDX-License-Identifier: MIT
// The designer's window under Qt's offscreen platform: opening LABEL1 to its first paint,
// and the redraw after a one-dot move at 203 dpi, by an arrow key (a committed step) and
// by a drag (the preview), each to the canvas painted. Goal for the moves: under 30 ms,
// so that dragging stays smooth.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <filesystem>
#include <memory>

#include "canvas_view.h"
#include "designer_window.h"

namespace {

constexpr int kDotsPerInch = 203;
constexpr std::int16_t kProductNameField = 6;  // the widest text of the label

const QString kLabel1 = QString::fromStdString(
    (std::filesystem::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "formats" / "LABEL1.json").string());

std::shared_ptr<render::Fonts> sharedFonts() {
    static const auto fonts = render::Fonts::loadWhenNeeded();
    return fonts;
}

// A window on LABEL1 with its product name selected, drawn once (fonts set up).
std::unique_ptr<designer::gui::DesignerWindow> label1Window() {
    auto window = std::make_unique<designer::gui::DesignerWindow>(sharedFonts());
    window->setAsker([](QMessageBox::Icon, const QString&, QMessageBox::StandardButtons) { return QMessageBox::Discard; });
    window->show();
    window->openFormat(kLabel1);
    window->setDotsPerInch(kDotsPerInch);
    window->canvas()->setSelection({designer::gui::fieldAt(*window->document().fieldIndexOf(kProductNameField))});
    window->canvas()->viewport()->repaint();
    return window;
}

void BM_OpenLabel1ToFirstPaint(benchmark::State& state) {
    auto window = label1Window();
    for (auto _ : state) {
        window->openFormat(kLabel1);
        window->canvas()->viewport()->repaint();
    }
    if (window->canvas()->labelImage().width() != 799) state.SkipWithError("LABEL1 was not drawn at 203 dpi");
}
BENCHMARK(BM_OpenLabel1ToFirstPaint)->Unit(benchmark::kMillisecond);

// The same with a new window each time: its panels, menus and printer list included.
void BM_NewWindowOnLabel1ToFirstPaint(benchmark::State& state) {
    label1Window();  // the fonts set up
    for (auto _ : state) {
        designer::gui::DesignerWindow window(sharedFonts());
        window.show();
        window.openFormat(kLabel1);
        window.canvas()->viewport()->repaint();
    }
}
BENCHMARK(BM_NewWindowOnLabel1ToFirstPaint)->Unit(benchmark::kMillisecond);

void BM_RedrawAfterOneDotArrowMove(benchmark::State& state) {
    auto window = label1Window();
    QWidget* canvas = window->canvas();
    bool right = true;
    const auto revision = window->document().revision();
    for (auto _ : state) {
        QKeyEvent key(QEvent::KeyPress, right ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
        QApplication::sendEvent(canvas, &key);
        window->canvas()->viewport()->repaint();
        right = !right;
    }
    if (window->document().revision() == revision) state.SkipWithError("the arrows moved nothing");
}
BENCHMARK(BM_RedrawAfterOneDotArrowMove)->Unit(benchmark::kMillisecond);

void BM_RedrawDuringDragByOneDot(benchmark::State& state) {
    auto window = label1Window();
    designer::gui::CanvasView& canvas = *window->canvas();
    const auto& format = window->document().format().value();
    const auto& field = *format.findField(kProductNameField);
    const QPointF start = canvas.viewportPointOf(QPointF(designer::gui::mmToDotsExact(field.xMm + 5, kDotsPerInch),
                                                         designer::gui::mmToDotsExact(field.yMm + 2, kDotsPerInch)));
    const auto send = [&](QEvent::Type type, QPointF at) {
        QMouseEvent event(type, at, canvas.viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::ShiftModifier);
        QApplication::sendEvent(canvas.viewport(), &event);
    };
    std::int64_t previews = 0;
    QObject::connect(&canvas, &designer::gui::CanvasView::placementsPreviewed, [&previews] { ++previews; });
    // Shift pauses snapping, so that every move lands on the next dot.
    send(QEvent::MouseButtonPress, start);
    send(QEvent::MouseMove, start + QPointF(10, 0));
    int dots = 10;
    for (auto _ : state) {
        dots += dots % 2 == 0 ? 1 : -1;
        send(QEvent::MouseMove, start + QPointF(dots * canvas.zoom(), 0));
        canvas.viewport()->repaint();
    }
    send(QEvent::MouseButtonRelease, start);
    if (previews < state.iterations()) state.SkipWithError("the drag drew no preview");
}
BENCHMARK(BM_RedrawDuringDragByOneDot)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
