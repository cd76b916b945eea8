// SPDX-License-Identifier: MIT
// The designer's window driven as a user drives it, under Qt's offscreen platform: a format
// built from empty by clicks and keys and taken back step by step; the canvas against the
// picture bcpctrl-render writes for every sample format, and record N against the picture
// the program prints; the canvas's keys and mouse; every key in the property panel; a
// barcode too narrow for its box in the checks; the fit check and a test print over a
// sample data file with planted values; recovery, reload, and a save to a read-only place.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QWheelEvent>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>

#include "canvas_view.h"
#include "checks_panel.h"
#include "cost_panel.h"
#include "designer/canonical_json.h"
#include "data_panel.h"
#include "designer_test_files.h"
#include "designer_window.h"
#include "property_panel.h"
#include "temp_dir.h"

namespace designer::gui {
namespace {

namespace fs = std::filesystem;
using designer_testing::fileText;

QString qt(const fs::path& path) { return QString::fromStdString(path.string()); }

const Json& fieldJson(FormatDocument& document, std::size_t index) { return document.json()["fields"][index]; }

// The centre of an object's box, where a click takes it.
QPoint centreOf(CanvasView& canvas, const labelformat::LabelFormat& format, ObjectRef object) {
    const MmRect frame = placementOf(format, object).frame();
    const int dpi = canvas.dotsPerInch();
    return canvas.viewportPointOf(QPointF(mmToDotsExact(frame.centreXMm(), dpi), mmToDotsExact(frame.centreYMm(), dpi))).toPoint();
}

void drag(QWidget* viewport, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mousePress(viewport, Qt::LeftButton, modifiers, from);
    QTest::mouseMove(viewport, from + (to - from) / 4);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, modifiers, to);
}

QTreeWidgetItem* rowWith(QTreeWidget* list, int column, const QString& text) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(column).contains(text)) return list->topLevelItem(i);
    }
    return nullptr;
}

void clickRow(QTreeWidget* list, QTreeWidgetItem* item) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// Two fields and a line below them on a 60 x 40 mm label.
constexpr const char* kTwoFieldsAndALine =
    R"({"usePrinter": 1, "label": {"widthMm": 60.0, "heightMm": 40.0}, "fields": [)"
    R"({"number": 1, "type": "text", "xMm": 5.0, "yMm": 5.0, "widthMm": 20.0, "heightMm": 6.0, "rotation": 0, "default": "A"},)"
    R"({"number": 2, "type": "text", "xMm": 30.0, "yMm": 20.0, "widthMm": 20.0, "heightMm": 6.0, "rotation": 0, "default": "B"}],)"
    R"( "static": [{"type": "line", "xMm": 2.0, "yMm": 35.0, "x2Mm": 25.0, "y2Mm": 35.0}]})";

render::DotRect fieldDots(const labelformat::LabelFormat& format, std::size_t index) {
    const labelformat::LabelField& field = format.fields[index];
    return render::rectInDots(field.xMm, field.yMm, field.widthMm, field.heightMm, 203);
}

// The sample data file with field `position` of record `record` (both from 1) replaced.
// CP932 never uses a comma as the second byte of a character, so commas split its fields.
std::string withPlantedValue(std::string data, int record, int position, const std::string& value) {
    std::size_t lineStart = 0;
    for (int line = 1; line < record; ++line) lineStart = data.find('\n', lineStart) + 1;
    std::size_t fieldStart = lineStart;
    for (int field = 1; field < position; ++field) fieldStart = data.find(',', fieldStart) + 1;
    const std::size_t fieldEnd = data.find(',', fieldStart);
    return data.replace(fieldStart, fieldEnd - fieldStart, value);
}

}  // namespace

class DesignerWindowTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<render::Fonts> fonts_ = render::Fonts::loadWhenNeeded();
    testing_support::TempDir system_;  // the control's folder: the sample printer list
    QStringList told_;
    QMessageBox::StandardButton answer_ = QMessageBox::No;

    std::unique_ptr<DesignerWindow> window() {
        auto window = std::make_unique<DesignerWindow>(fonts_);
        window->setAsker([this](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
            told_.push_back(text);
            return answer_;
        });
        window->show();
        QApplication::setActiveWindow(window.get());
        return window;
    }

    // At one pixel a dot.
    std::unique_ptr<DesignerWindow> windowOnTwoFieldsAndALine(const testing_support::TempDir& dir) {
        auto window = this->window();
        if (!window->openFormat(qt(dir.write("THREE.json", kTwoFieldsAndALine)))) return nullptr;
        window->canvas()->setZoom(1);
        return window;
    }

    QAction* action(DesignerWindow& window, const char* name) { return window.findChild<QAction*>(QString::fromLatin1(name)); }

private slots:
    void initTestCase() {
        system_.write("printers.json", R"({"printers": {
            "TEC B-374": {"type": "virtual", "output": "output/TEC_B-374.jsonl", "images": "output/images", "dpi": 203},
            "Jammed": {"type": "virtual", "output": "output/jammed.jsonl", "issueError": {"label": 1, "error": 1003, "status": "06"}},
            "Pictures": {"type": "image", "folder": "output/pictures", "dpi": 300},
            "Shipping": {"type": "zpl", "device": "/dev/null", "serial": "19200,N,8,1", "dpi": 600}}})");
        qputenv("BCPCTRL_SYSTEM_DIR", QByteArray::fromStdString(system_.path().string()));
    }

    void init() {
        told_.clear();
        answer_ = QMessageBox::No;
    }

    // Every change one step, a drag too; undone to the empty format and redone to the same text.
    void buildsAFormatFromEmptyByClicksAndKeys() {
        auto window = this->window();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        FormatDocument& document = window->document();
        CanvasView& canvas = *window->canvas();
        const std::string empty = document.text();
        const int dpi = canvas.dotsPerInch();

        auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("mainToolBar"));
        QTest::mouseClick(toolbar->widgetForAction(action(*window, "insertText")), Qt::LeftButton);
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{fieldAt(0)});
        QCOMPARE(fieldJson(document, 0)["number"].get<int>(), 1);
        const double x0 = fieldJson(document, 0)["xMm"].get<double>();
        const double y0 = fieldJson(document, 0)["yMm"].get<double>();
        for (int i = 0; i < 3; ++i) QTest::keyClick(&canvas, Qt::Key_Right);
        QTest::keyClick(&canvas, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(render::mmToDots(fieldJson(document, 0)["xMm"].get<double>(), dpi), render::mmToDots(x0, dpi) + 3);
        QCOMPARE(fieldJson(document, 0)["yMm"].get<double>(), y0 + 1.0);

        auto* sample = window->propertyPanel()->findChild<QLineEdit*>(QStringLiteral("property:sample"));
        QVERIFY(sample != nullptr);
        sample->setFocus();
        sample->selectAll();
        QTest::keyClicks(sample, QStringLiteral("No."));
        QInputMethodEvent japanese;  // Japanese arrives from the input method, committed
        japanese.setCommitString(QStringLiteral("入荷ラベル"));
        QApplication::sendEvent(sample, &japanese);
        QCOMPARE(fieldJson(document, 0)["sample"].get<std::string>(), "No.入荷ラベル");  // one step, however many keys

        const QPoint textCentre = centreOf(canvas, document.format().value(), fieldAt(0));
        drag(canvas.viewport(), textCentre, textCentre + QPoint(0, 60));
        QVERIFY(fieldJson(document, 0)["yMm"].get<double>() > y0 + 3.0);
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{fieldAt(0)});

        canvas.setFocus();
        QTest::keyClick(&canvas, Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(fieldJson(document, 1)["type"].get<std::string>(), "barcode");
        QCOMPARE(fieldJson(document, 1)["number"].get<int>(), 2);
        const double width = fieldJson(document, 1)["widthMm"].get<double>();
        QTest::keyClick(&canvas, Qt::Key_R);
        QCOMPARE(fieldJson(document, 1)["rotation"].get<int>(), 90);
        QCOMPARE(fieldJson(document, 1)["heightMm"].get<double>(), width);

        QTest::keyClick(&canvas, Qt::Key_Tab);  // by number: round to the text field and back
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{fieldAt(0)});
        QTest::keyClick(&canvas, Qt::Key_Tab);
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{fieldAt(1)});
        QTest::keyClick(&canvas, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(fieldJson(document, 2)["number"].get<int>(), 3);

        // A rubber band from the grey margin round the whole label takes everything.
        const labelformat::LabelFormat& format = document.format().value();
        const QPoint beforeLabel = canvas.viewportPointOf({-10, -10}).toPoint();
        const QPoint afterLabel = canvas.viewportPointOf({mmToDotsExact(format.widthMm, dpi) + 10,
                                                          mmToDotsExact(format.heightMm, dpi) + 10}).toPoint();
        drag(canvas.viewport(), beforeLabel, afterLabel);
        QCOMPARE(canvas.selection().size(), std::size_t{3});
        action(*window, "alignTop")->trigger();
        QVERIFY(fieldJson(document, 2)["yMm"] == fieldJson(document, 0)["yMm"]);

        window->scanNow();  // both barcodes are read back from the drawn dots
        QCOMPARE(window->proof().barcodesScanned(), 2);
        QCOMPARE(window->proof().barcodesReadBack(), 2);

        const std::string built = document.text();
        int steps = 0;
        while (document.canUndo()) {
            action(*window, "undo")->trigger();
            ++steps;
        }
        QCOMPARE(steps, 11);  // insert, 3 arrows, Shift+arrow, typing, drag, insert, R, duplicate, align
        QCOMPARE(document.text(), empty);
        while (document.canRedo()) action(*window, "redo")->trigger();
        QCOMPARE(document.text(), built);
    }

    void canvasIsTheRenderCommandsPicture_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("dpi");
        for (const auto& entry : fs::directory_iterator(fs::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "formats")) {
            for (int dpi : {203, 300, 600}) {
                const std::string row = entry.path().stem().string() + "@" + std::to_string(dpi);
                QTest::newRow(row.c_str()) << qt(entry.path()) << dpi;
            }
        }
    }

    // What the canvas shows, each dot a pixel (and at 203 dpi each dot 4x4 pixels), is the
    // picture the render command writes, bit for bit.
    void canvasIsTheRenderCommandsPicture() {
        QFETCH(QString, format);
        QFETCH(int, dpi);
        const testing_support::TempDir out;
        const QString png = qt(out.path() / "label.png");
        QCOMPARE(QProcess::execute(QStringLiteral(BCPCTRL_RENDER), {format, QStringLiteral("--dpi"), QString::number(dpi),
                                                                    QStringLiteral("-o"), png}),
                 0);
        const QImage rendered = QImage(png).convertToFormat(QImage::Format_RGB32);
        auto window = this->window();
        QVERIFY(window->openFormat(format));
        window->setDotsPerInch(dpi);
        const fs::path exported = out.path() / "exported.png";
        QVERIFY(window->exportPicture(qt(exported)));
        QVERIFY2(fileText(exported) == fileText(png.toStdString()), "the exported PNG is the render command's, byte for byte");
        action(*window, "showOverlay")->setChecked(false);
        action(*window, "showGrid")->setChecked(false);
        for (int zoom : dpi == 203 ? std::vector{1, 4} : std::vector{1}) {
            window->canvas()->setZoom(zoom);
            const QImage shown = window->canvas()->paintedLabel().convertToFormat(QImage::Format_RGB32);
            const QImage expected = rendered.scaled(rendered.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            QCOMPARE(shown.size(), expected.size());
            QVERIFY2(shown == expected, qPrintable(QStringLiteral("differs at %1x").arg(zoom)));
        }
    }

    // Flagged in the checks panel; its row selects it; a wider box clears it at once.
    void tooNarrowBarcodeIsFlagged() {
        const testing_support::TempDir dir;
        const fs::path file = dir.write(
            "NARROW.json",
            R"({"usePrinter": 1, "label": {"widthMm": 60.0, "heightMm": 40.0}, "fields": [)"
            R"({"number": 1, "type": "text", "xMm": 2.0, "yMm": 2.0, "widthMm": 30.0, "heightMm": 5.0, "rotation": 0, "default": "JAN"},)"
            R"({"number": 11, "type": "barcode", "symbology": "EAN13", "xMm": 2.0, "yMm": 10.0, "widthMm": 12.0, "heightMm": 15.0,)"
            R"( "rotation": 0, "sample": "4571123400153"}]})");
        auto window = this->window();
        QVERIFY(window->openFormat(qt(file)));
        QTreeWidget* list = window->checksPanel()->list();
        QTreeWidgetItem* row = rowWith(list, 0, QStringLiteral("項目 11"));
        QVERIFY(row != nullptr);
        QVERIFY(row->text(1).contains(QStringLiteral("エラー 1302")));
        clickRow(list, row);
        QCOMPARE(window->canvas()->selection(), std::vector<ObjectRef>{fieldAt(1)});

        auto* number = window->propertyPanel()->findChild<QSpinBox*>(QStringLiteral("property:number"));
        number->setValue(1);  // field 1's: refused, and the panel says so
        QCOMPARE(fieldJson(window->document(), 1)["number"].get<int>(), 11);
        QCOMPARE(number->value(), 11);
        QVERIFY(window->propertyPanel()->findChild<QLabel*>(QStringLiteral("propertiesProblem"))->isVisibleTo(window.get()));

        auto* width = window->propertyPanel()->findChild<QDoubleSpinBox*>(QStringLiteral("property:widthMm"));
        QVERIFY(width != nullptr);
        width->setValue(40.0);
        QVERIFY(rowWith(list, 0, QStringLiteral("項目 11")) == nullptr);
        window->scanNow();
        QCOMPARE(window->proof().barcodesReadBack(), 1);
    }

    // Over the whole file before a label is printed: a name too long for its box (record 3),
    // a JAN too long to encode (record 7) and a record the program cannot read (9), each
    // with its record; then record 1 printed through the control on the sample printer
    // list's virtual printer.
    void fitCheckFindsPlantedValues() {
        const testing_support::TempDir dir;
        std::string data = fileText(designer_testing::sampleDataPath("NYUKA.DAT"));
        data = withPlantedValue(data, 3, 7, std::string(200, 'W'));
        data = withPlantedValue(data, 7, 21, "45711234001539999");
        data = withPlantedValue(data, 9, 5, "\x81");  // half a character: not CP932
        const fs::path file = dir.write("NYUKA.DAT", data);
        auto window = this->window();
        QVERIFY(window->openFormat(qt(designer_testing::sampleFormatPath("LABEL1"))));
        QVERIFY(window->openData(qt(file), QStringLiteral("NYUKA.DAT")));
        window->runFitCheck();

        auto* list = window->dataPanel()->findChild<QTreeWidget*>(QStringLiteral("fitList"));
        QTreeWidgetItem* cut = rowWith(list, 3, QStringLiteral("切れて"));
        QVERIFY(cut != nullptr);
        QCOMPARE(cut->text(0), QStringLiteral("項目 6"));
        QCOMPARE(cut->text(1), QStringLiteral("3"));
        QTreeWidgetItem* refused = rowWith(list, 3, QStringLiteral("エラー 1302"));
        QVERIFY(refused != nullptr);
        QCOMPARE(refused->text(0), QStringLiteral("項目 11"));
        QCOMPARE(refused->text(1), QStringLiteral("7"));
        QTreeWidgetItem* unreadable = rowWith(list, 3, QStringLiteral("プログラムが読めません"));
        QVERIFY(unreadable != nullptr);
        QCOMPARE(unreadable->text(1), QStringLiteral("9"));
        clickRow(list, unreadable);
        QVERIFY(window->dataPanel()->findChild<QLabel*>(QStringLiteral("recordRefusal"))->isVisibleTo(window.get()));
        clickRow(list, cut);
        QCOMPARE(window->dataPanel()->currentRecord()->number, 3);
        QCOMPARE(window->canvas()->selection(), std::vector<ObjectRef>{fieldAt(*window->document().fieldIndexOf(6))});

        window->dataPanel()->showRecord(1);
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            dialog->findChild<QComboBox*>()->setCurrentText(QStringLiteral("TEC B-374"));
            dialog->accept();
        });
        action(*window, "testPrint")->trigger();
        QVERIFY2(told_.size() == 1 && told_.front().contains(QStringLiteral("送りました")), qPrintable(told_.join('\n')));
        const std::string printed = fileText(system_.path() / "output" / "TEC_B-374.jsonl");
        QCOMPARE(std::count(printed.begin(), printed.end(), '\n'), 1);
        QVERIFY(printed.find("黒糖かりんとう 徳用袋") != std::string::npos);
    }

    // Unsaved work, autosaved by the window's timer, is offered back at the next open; a
    // change by another program is offered for reload; closing with changes asks, and
    // Cancel keeps the window open.
    void offersRecoveryReloadAndSaving() {
        const testing_support::TempDir dir;
        const std::string original = fileText(designer_testing::sampleFormatPath("LABEL1"));
        const fs::path file = dir.write("LABEL1.json", original);
        std::string unsaved;
        {
            auto crashing = this->window();
            QVERIFY(crashing->openFormat(qt(file)));
            crashing->canvas()->setSelection({fieldAt(0)});
            QTest::keyClick(crashing->canvas(), Qt::Key_Right);
            unsaved = crashing->document().text();
            crashing->findChild<QTimer*>(QStringLiteral("autosaveTimer"))->setInterval(1);
            QTRY_VERIFY(fs::exists(autosavePathOf(file)));
        }  // gone without saving or closing
        auto window = this->window();
        answer_ = QMessageBox::Yes;
        QVERIFY(window->openFormat(qt(file)));
        QVERIFY(told_.size() == 1 && told_.front().contains(QStringLiteral("自動保存")));
        QCOMPARE(window->document().text(), unsaved);
        QVERIFY(window->isWindowModified());

        auto changed = *FormatDocument::fromText(original);
        QVERIFY(changed.setLabelKey("widthMm", 90.0));
        dir.write("LABEL1.json", changed.text());
        told_.clear();
        window->checkDiskChange();
        QVERIFY(told_.size() == 1 && told_.front().contains(QStringLiteral("変更されました")));
        QCOMPARE(window->document().text(), changed.text());

        window->canvas()->setSelection({fieldAt(0)});
        QTest::keyClick(window->canvas(), Qt::Key_Right);
        told_.clear();
        answer_ = QMessageBox::Cancel;
        QVERIFY(!window->close());
        QVERIFY(told_.size() == 1 && told_.front().contains(QStringLiteral("保存されていません")));
        answer_ = QMessageBox::Discard;
        QVERIFY(window->close());
        QCOMPARE(fileText(file), changed.text());
    }

    // Record N on the canvas is the picture the program itself prints for its Nth label: the
    // goods edition runs the sample job on the sample printer list, which draws every label.
    void recordsShowWhatTheProgramPrints() {
        const testing_support::TempDir run;
        fs::copy(fs::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl", run.path() / "BcpCtrl", fs::copy_options::recursive);
        fs::copy(fs::path(MOKUREN_SAMPLES_DIR) / "DATA", run.path() / "DATA", fs::copy_options::recursive);
        QProcess program;
        program.setWorkingDirectory(qt(run.path()));
        program.setStandardInputFile(QProcess::nullDevice());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("BCPCTRL_SYSTEM_DIR"), qt(run.path() / "BcpCtrl"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(MOKUREN_PROGRAM_DIR "/mokuren-goods"), {QStringLiteral("/LABEL1 /DATA\\NYUKA.DAT /DRV /DRV:TEC B-374")});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);

        auto window = this->window();
        QVERIFY(window->openFormat(qt(run.path() / "BcpCtrl" / "formats" / "LABEL1.json")));
        QVERIFY(window->openData(qt(run.path() / "DATA" / "NYUKA.DAT"), {}));
        action(*window, "showOverlay")->setChecked(false);
        action(*window, "showGrid")->setChecked(false);
        window->canvas()->setZoom(1);
        for (int record = 1; record <= 12; ++record) {
            window->canvas()->setFocus();
            if (record > 1) QTest::keyClick(window->canvas(), Qt::Key_PageDown);
            QCOMPARE(window->dataPanel()->currentRecord()->number, record);
            const fs::path printed = run.path() / "BcpCtrl" / "output" / "images" / "job-0001" /
                                     QStringLiteral("label-%1.png").arg(record, 5, 10, QLatin1Char('0')).toStdString();
            const QImage expected = QImage(qt(printed)).convertToFormat(QImage::Format_RGB32);
            QVERIFY2(!expected.isNull(), printed.c_str());
            QVERIFY2(window->canvas()->paintedLabel().convertToFormat(QImage::Format_RGB32) == expected,
                     qPrintable(QStringLiteral("record %1 differs").arg(record)));
        }
    }

    // Clicks, Ctrl+clicks, handles, Shift, Escape, Alt and Shift+Tab on the canvas, the wheel
    // and the middle button.
    void canvasKeysAndMouse() {
        const testing_support::TempDir dir;
        auto window = windowOnTwoFieldsAndALine(dir);
        QVERIFY(window);
        CanvasView& canvas = *window->canvas();
        FormatDocument& document = window->document();
        const auto format = [&] { return document.format().value(); };
        QWidget* viewport = canvas.viewport();

        QTest::mouseClick(viewport, Qt::LeftButton, {}, centreOf(canvas, format(), fieldAt(0)));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, centreOf(canvas, format(), fieldAt(1)));
        QCOMPARE(canvas.selection(), (std::vector<ObjectRef>{fieldAt(0), fieldAt(1)}));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, centreOf(canvas, format(), fieldAt(0)));
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{fieldAt(1)});
        QTest::keyClick(&canvas, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{fieldAt(0)});

        // The bottom-right handle with Shift held: the corner lands on the dot the cursor is on.
        const render::DotRect before = fieldDots(format(), 0);
        const QPoint corner = canvas.viewportPointOf(QPointF(before.rightDots(), before.bottomDots())).toPoint();
        drag(viewport, corner, corner + QPoint(16, 8), Qt::ShiftModifier);
        QCOMPARE(fieldDots(format(), 0), (render::DotRect{before.xDots, before.yDots, before.widthDots + 16, before.heightDots + 8}));
        QTest::keyClick(&canvas, Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(fieldDots(format(), 0).widthDots, before.widthDots + 17);

        // A drag snaps onto the whole millimetres of the grid; Escape calls one off.
        const QPoint centre = centreOf(canvas, format(), fieldAt(0));
        drag(viewport, centre, centre + QPoint(37, 0));
        const double snappedMm = fieldJson(document, 0)["xMm"].get<double>();
        QCOMPARE(snappedMm, std::round(snappedMm));
        const std::string beforeEscape = document.text();
        QTest::mousePress(viewport, Qt::LeftButton, {}, centre);
        QTest::mouseMove(viewport, centre + QPoint(30, 30));
        QTest::keyClick(&canvas, Qt::Key_Escape);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre + QPoint(30, 30));
        QCOMPARE(document.text(), beforeEscape);

        // A line is taken by a click on it; an arrow moves both its ends.
        const int dpi = canvas.dotsPerInch();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, canvas.viewportPointOf({mmToDotsExact(20.0, dpi), mmToDotsExact(35.0, dpi)}).toPoint());
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{staticAt(0)});
        QTest::keyClick(&canvas, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(document.json()["static"][0]["yMm"].get<double>(), 36.0);
        QCOMPARE(document.json()["static"][0]["y2Mm"].get<double>(), 36.0);

        // Ctrl+wheel zooms about the cursor: the dot under it stays; the middle button pans.
        const QPoint cursor = canvas.viewportPointOf({250, 150}).toPoint();
        const QPointF dotUnderCursor = canvas.dotsAt(cursor);
        QWheelEvent wheel(cursor, viewport->mapToGlobal(cursor), {}, {0, 120}, Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        QCOMPARE(canvas.zoom(), 2);
        QVERIFY((canvas.dotsAt(cursor) - dotUnderCursor).manhattanLength() < 1.0);
        canvas.setZoom(8);
        const QPointF dotBefore = canvas.dotsAt(QPointF(200, 200));
        QTest::mousePress(viewport, Qt::MiddleButton, {}, {200, 200});
        QTest::mouseMove(viewport, {160, 200});
        QTest::mouseRelease(viewport, Qt::MiddleButton, {}, {160, 200});
        QCOMPARE(canvas.dotsAt(QPointF(200, 200)).x(), dotBefore.x() + 40.0 / 8);
    }

    // Several objects move as one, in one step; a line's end snaps onto another object's
    // edge; Ctrl+X and Ctrl+V take a line away and bring it back.
    void canvasDragsSeveralAndLineEnds() {
        const testing_support::TempDir dir;
        auto window = windowOnTwoFieldsAndALine(dir);
        QVERIFY(window);
        CanvasView& canvas = *window->canvas();
        FormatDocument& document = window->document();
        const auto format = [&] { return document.format().value(); };
        QWidget* viewport = canvas.viewport();

        // A band round both fields and not the line below them.
        drag(viewport, canvas.viewportPointOf({20, 20}).toPoint(), canvas.viewportPointOf({420, 230}).toPoint());
        QCOMPARE(canvas.selection(), (std::vector<ObjectRef>{fieldAt(0), fieldAt(1)}));
        const render::DotRect first = fieldDots(format(), 0);
        const render::DotRect second = fieldDots(format(), 1);
        const QPoint from = centreOf(canvas, format(), fieldAt(0));
        drag(viewport, from, from + QPoint(40, 24), Qt::ShiftModifier);
        QCOMPARE(fieldDots(format(), 0).xDots, first.xDots + 40);
        QCOMPARE(fieldDots(format(), 1).yDots, second.yDots + 24);
        QCOMPARE(document.undoName(), "移動");
        document.undo();
        QVERIFY(fieldDots(format(), 0) == first && fieldDots(format(), 1) == second);

        // The line's end dragged to 0.3 mm short of field 2's left edge snaps onto it.
        const int dpi = canvas.dotsPerInch();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, canvas.viewportPointOf({mmToDotsExact(10.0, dpi), mmToDotsExact(35.0, dpi)}).toPoint());
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{staticAt(0)});
        const QPoint end = canvas.viewportPointOf({mmToDotsExact(25.0, dpi), mmToDotsExact(35.0, dpi)}).toPoint();
        drag(viewport, end, canvas.viewportPointOf({mmToDotsExact(29.7, dpi), mmToDotsExact(35.0, dpi)}).toPoint());
        QCOMPARE(document.json()["static"][0]["x2Mm"].get<double>(), 30.0);
        QCOMPARE(document.json()["static"][0]["xMm"].get<double>(), 2.0);

        QTest::keyClick(&canvas, Qt::Key_X, Qt::ControlModifier);
        QVERIFY(document.json()["static"].empty());
        QTest::keyClick(&canvas, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(document.json()["static"][0]["x2Mm"].get<double>(), 31.0);
        QCOMPARE(canvas.selection(), std::vector<ObjectRef>{staticAt(0)});
    }

    // The kind chosen reads the open file again: another edition's kind counts its records
    // by its own field count and brings its program's printer model (1301); a short last
    // record is the program's refusal, told and never test-printed.
    void dataKindsAndRefusedRecords() {
        auto window = this->window();
        QVERIFY(window->openFormat(qt(designer_testing::sampleFormatPath("LABEL1"))));
        QVERIFY(window->openData(qt(designer_testing::sampleDataPath("NYUKA.DAT")), {}));
        QCOMPARE(window->dataPanel()->records()->size(), 12);
        QVERIFY(rowWith(window->checksPanel()->list(), 1, QStringLiteral("エラー 1301")) == nullptr);

        QComboBox* kind = window->dataPanel()->kindChoice();
        kind->setCurrentIndex(kind->findData(QStringLiteral("PRICCARD.DAT")));
        emit kind->activated(kind->currentIndex());
        const auto& records = *window->dataPanel()->records();
        QCOMPARE(records.kind().name, "PRICCARD.DAT");
        QCOMPARE(records.size(), 23);  // 12 x 24 fields read 13 at a time
        QVERIFY(rowWith(window->checksPanel()->list(), 1, QStringLiteral("エラー 1301")) != nullptr);

        window->dataPanel()->showRecord(23);
        QVERIFY(window->dataPanel()->currentRecord()->refused());
        QVERIFY(rowWith(window->checksPanel()->list(), 1, QStringLiteral("プログラムが読めません")) != nullptr);
        QTimer::singleShot(0, [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->accept(); });
        action(*window, "testPrint")->trigger();
        QVERIFY2(told_.size() == 1 && told_.front().contains(QStringLiteral("印刷しません")), qPrintable(told_.join('\n')));
    }

    // Every key the format has is edited in the panel and lands in the JSON; lengths show
    // the dots they become at the canvas's resolution.
    void propertyPanelEditsEveryKey() {
        const testing_support::TempDir dir;
        const fs::path file = dir.write(
            "KEYS.json",
            R"({"usePrinter": 1, "label": {"widthMm": 60.0, "heightMm": 40.0}, "fields": [)"
            R"({"number": 1, "type": "text", "xMm": 2.0, "yMm": 2.0, "widthMm": 20.0, "heightMm": 6.0, "rotation": 0}],)"
            R"( "static": [{"type": "box", "xMm": 1.0, "yMm": 1.0, "widthMm": 50.0, "heightMm": 30.0}]})");
        auto window = this->window();
        QVERIFY(window->openFormat(qt(file)));
        FormatDocument& document = window->document();
        PropertyPanel& panel = *window->propertyPanel();
        const auto editor = [&](const char* key) { return panel.findChild<QWidget*>(QStringLiteral("property:") + QLatin1String(key)); };
        const auto spin = [&](const char* key) { return qobject_cast<QDoubleSpinBox*>(editor(key)); };
        const auto dots = [&](const char* key) { return editor(key)->parentWidget()->findChild<QLabel*>()->text(); };

        window->canvas()->setSelection({fieldAt(0)});
        QCOMPARE(dots("xMm"), QStringLiteral("= 16 ドット"));
        window->setDotsPerInch(600);
        QCOMPARE(dots("xMm"), QStringLiteral("= 47 ドット"));
        QCOMPARE(dots("/font/sizePt"), QStringLiteral("= 83.3 ドット"));
        spin("xMm")->setValue(3.25);
        spin("heightMm")->setValue(7.5);
        spin("/font/sizePt")->setValue(12.5);
        qobject_cast<QCheckBox*>(editor("/font/bold"))->setChecked(true);
        qobject_cast<QCheckBox*>(editor("wrap"))->setChecked(true);
        const auto choose = [&](const char* key, int index) {
            auto* combo = qobject_cast<QComboBox*>(editor(key));
            combo->setCurrentIndex(index);
            emit combo->activated(index);
        };
        choose("align", 2);
        choose("rotation", 2);
        auto* family = qobject_cast<QComboBox*>(editor("/font/family"));
        emit family->textActivated(QStringLiteral("Noto Serif CJK JP"));
        auto* defaultText = qobject_cast<QLineEdit*>(editor("default"));
        defaultText->setText(QStringLiteral("見出し"));
        emit defaultText->textEdited(defaultText->text());
        const Json& field = document.json()["fields"][0];
        QCOMPARE(field["xMm"].get<double>(), 3.25);
        QCOMPARE(field["heightMm"].get<double>(), 7.5);
        QVERIFY(field["font"] == (Json{{"sizePt", 12.5}, {"bold", true}, {"family", "Noto Serif CJK JP"}}));
        QCOMPARE(field["wrap"].get<bool>(), true);
        QCOMPARE(field["align"].get<std::string>(), "right");
        QCOMPARE(field["rotation"].get<int>(), 180);
        QCOMPARE(field["default"].get<std::string>(), "見出し");

        choose("type", 1);  // a barcode needs its symbology: both in one step
        QCOMPARE(field["symbology"].get<std::string>(), "CODE128");
        QCOMPARE(document.undoName(), "種類の変更");
        QVERIFY(editor("humanReadable") != nullptr && editor("wrap") == nullptr);
        choose("symbology", 7);
        QCOMPARE(field["symbology"].get<std::string>(), "QR");

        window->canvas()->setSelection({staticAt(0)});
        qobject_cast<QCheckBox*>(editor("fill"))->setChecked(true);
        spin("lineWidthMm")->setValue(0.5);
        QVERIFY(document.json()["static"][0]["fill"] == true && document.json()["static"][0]["lineWidthMm"] == 0.5);

        window->canvas()->setSelection({});
        spin("/label/widthMm")->setValue(80.0);
        qobject_cast<QSpinBox*>(editor("usePrinter"))->setValue(0);
        QCOMPARE(document.json()["label"]["widthMm"].get<double>(), 80.0);
        QCOMPARE(document.json()["usePrinter"].get<int>(), 0);
        QCOMPARE(window->canvas()->labelImage().width(), render::mmToDots(80.0, 600));
    }

    // Each action says what it does; no key is bound twice (Qt would then run neither).
    void actionsHaveTextsTipsAndDistinctKeys() {
        auto window = this->window();
        std::map<QString, QString> keys;
        for (QAction* each : window->findChildren<QAction*>()) {
            if (each->isSeparator() || each->objectName().isEmpty() || each->objectName().startsWith(QLatin1String("qt_"))) continue;
            QVERIFY2(!each->text().isEmpty() && !each->toolTip().isEmpty(), qPrintable(each->objectName()));
            for (const QKeySequence& key : each->shortcuts()) {
                const QString text = key.toString();
                QVERIFY2(keys.emplace(text, each->objectName()).second,
                         qPrintable(QStringLiteral("%1 on %2 and %3").arg(text, keys[text], each->objectName())));
            }
        }
        QVERIFY2(keys.size() >= 39, qPrintable(QString::number(keys.size())));
    }

    // The printer list gives the canvas its printers' resolutions, the cost its ZPL printer
    // and line, and the test print its destinations, whose refusals are told.
    void printersOfTheList() {
        auto window = this->window();
        QVERIFY(window->openFormat(qt(designer_testing::sampleFormatPath("LABEL1"))));
        QVERIFY(action(*window, "dpiOf:Jammed") == nullptr);  // it draws no pictures
        action(*window, "dpiOf:Pictures")->trigger();
        QCOMPARE(window->canvas()->dotsPerInch(), 300);
        QCOMPARE(window->canvas()->labelImage().width(), render::mmToDots(100.0, 300));

        window->recalculateCost();
        const QString table = window->costPanel()->findChild<QLabel*>(QStringLiteral("costTable"))->text();
        const QRegularExpressionMatch first =
            QRegularExpression(QStringLiteral("1 枚目</td><td align=right>(\\d+)</td><td align=right>([\\d.]+) 秒")).match(table);
        QVERIFY2(first.hasMatch(), qPrintable(table));
        const double bytes = first.captured(1).toDouble();
        QCOMPARE(first.captured(2), QString::number(bytes * 10 / 19200, 'f', 2));  // 8N1: ten bits a byte

        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            dialog->findChild<QComboBox*>()->setCurrentText(QStringLiteral("Jammed"));
            dialog->accept();
        });
        action(*window, "testPrint")->trigger();
        QVERIFY2(told_.size() == 1 && told_.front().contains(QStringLiteral("Issue")) &&
                     told_.front().contains(QStringLiteral("0x800a03eb")),
                 qPrintable(told_.join('\n')));
    }

    // F6 goes round the canvas and every pane, each to its first field; a tab comes to the front.
    void keyboardReachesEveryPane() {
        auto window = this->window();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->canvas()->setFocus();
        QStringList visited;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
            QWidget* focus = QApplication::focusWidget();
            QDockWidget* dock = nullptr;
            for (QWidget* up = focus; up != nullptr && dock == nullptr; up = up->parentWidget()) dock = qobject_cast<QDockWidget*>(up);
            visited << (dock != nullptr ? dock->objectName() : focus->objectName());
        }
        QCOMPARE(visited, (QStringList{QStringLiteral("propertiesDock"), QStringLiteral("checksDock"),
                                       QStringLiteral("dataDock"), QStringLiteral("costDock"), QStringLiteral("canvas")}));
    }

    // Keys the designer does not know survive edits, a copy into another format and a save;
    // a format LoadFormat would refuse is saved all the same, with its errors told.
    void unknownKeysSurviveAndRefusedFormatsAreSavedWithAWarning() {
        const testing_support::TempDir dir;
        const fs::path file = dir.write(
            "SITE.json",
            R"({"usePrinter": 1, "x-site": {"owner": "倉庫"}, "label": {"widthMm": 60.0, "heightMm": 40.0, "x-roll": 3}, "fields": [)"
            R"({"number": 7, "type": "text", "xMm": 30.0, "yMm": 5.0, "widthMm": 20.0, "heightMm": 6.0, "rotation": 0,)"
            R"( "font": {"sizePt": 9, "x-hint": "narrow"}, "x-field": [1, 2]}],)"
            R"( "static": [{"type": "box", "xMm": 1.0, "yMm": 1.0, "widthMm": 58.0, "heightMm": 38.0, "x-static": null}]})");
        auto window = this->window();
        QVERIFY(window->openFormat(qt(file)));
        CanvasView& canvas = *window->canvas();
        canvas.setSelection({fieldAt(0)});
        window->propertyPanel()->findChild<QDoubleSpinBox*>(QStringLiteral("property:/font/sizePt"))->setValue(11.0);
        canvas.setFocus();
        QTest::keyClick(&canvas, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(&canvas, Qt::Key_C, Qt::ControlModifier);

        auto other = this->window();
        other->canvas()->setFocus();
        QTest::keyClick(other->canvas(), Qt::Key_V, Qt::ControlModifier);
        const Json& pasted = other->document().json()["fields"][0];
        QCOMPARE(pasted["number"].get<int>(), 7);
        QVERIFY(pasted["font"] == (Json{{"sizePt", 11.0}, {"x-hint", "narrow"}}));
        QVERIFY(pasted["x-field"] == (Json{1, 2}));

        canvas.setSelection({});
        window->propertyPanel()->findChild<QDoubleSpinBox*>(QStringLiteral("property:/label/widthMm"))->setValue(40.0);
        QVERIFY(window->save());
        QVERIFY2(told_.size() == 1 && told_.front().contains(QStringLiteral("エラー 1302")), qPrintable(told_.join('\n')));
        const Json saved = *parseFormatJson(fileText(file));
        QVERIFY(saved["x-site"] == (Json{{"owner", "倉庫"}}));
        QVERIFY(saved["label"] == (Json{{"widthMm", 40.0}, {"heightMm", 40.0}, {"x-roll", 3}}));
        QVERIFY(saved["fields"][0]["font"] == (Json{{"sizePt", 11.0}, {"x-hint", "narrow"}}));
        QCOMPARE(saved["fields"][0]["yMm"].get<double>(), 6.0);
        QVERIFY(saved["static"][0].contains("x-static"));
        QVERIFY(!window->isWindowModified());

        QVERIFY(window->exportPicture(qt(dir.path() / "label.pdf")));
        QCOMPARE(fileText(dir.path() / "label.pdf").substr(0, 5), std::string("%PDF-"));
    }

    // The original stays byte for byte, the user is told why, and the changes stay unsaved.
    void saveToReadOnlyPlaceKeepsTheOriginal() {
        const testing_support::TempDir dir;
        const designer_testing::PrivateTmpfs place(dir.path() / "ro", "1m");
        if (!place.mounted() && ::geteuid() == 0) QSKIP("root without mount: a read-only folder binds no one");
        const std::string original = fileText(designer_testing::sampleFormatPath("LABEL1"));
        const fs::path file = dir.write("ro/LABEL1.json", original);
        auto window = this->window();
        QVERIFY(window->openFormat(qt(file)));
        window->canvas()->setSelection({fieldAt(0)});
        QTest::keyClick(window->canvas(), Qt::Key_Right);
        QVERIFY(window->isWindowModified());
        if (place.mounted()) {
            QVERIFY(place.makeReadOnly());
        } else {
            ::chmod(file.parent_path().c_str(), 0555);
        }
        QVERIFY(!window->save());
        ::chmod(file.parent_path().c_str(), 0755);
        QCOMPARE(fileText(file), original);
        QCOMPARE(told_.size(), qsizetype{1});
        QVERIFY(told_.front().contains(QStringLiteral("保存できませんでした。元のファイルはそのままです。")));
        QVERIFY(window->isWindowModified());
    }
};

}  // namespace designer::gui

QTEST_MAIN(designer::gui::DesignerWindowTest)
#include "designer_window_test.moc"
