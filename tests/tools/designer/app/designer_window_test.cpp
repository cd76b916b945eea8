// SPDX-License-Identifier: MIT
// The designer's window driven as a user drives it, under Qt's offscreen platform: a format
// built from empty by clicks and keys and taken back step by step; the canvas against the
// picture bcpctrl-render writes for every sample format; a barcode too narrow for its box
// in the checks; the fit check and a test print over a sample data file with planted
// values; a save to a read-only place.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "canvas_view.h"
#include "checks_panel.h"
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

    QAction* action(DesignerWindow& window, const char* name) { return window.findChild<QAction*>(QString::fromLatin1(name)); }

private slots:
    void initTestCase() {
        fs::copy(fs::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "printers.json", system_.path() / "printers.json");
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
        QTimer::singleShot(0, [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->accept(); });
        action(*window, "testPrint")->trigger();
        QVERIFY2(told_.size() == 1 && told_.front().contains(QStringLiteral("送りました")), qPrintable(told_.join('\n')));
        const std::string printed = fileText(system_.path() / "output" / "TEC_B-374.jsonl");
        QCOMPARE(std::count(printed.begin(), printed.end(), '\n'), 1);
        QVERIFY(printed.find("黒糖かりんとう 徳用袋") != std::string::npos);
    }

    // Unsaved work autosaved is offered back at the next open; a change by another program
    // is offered for reload; closing with changes asks, and Cancel keeps the window open.
    void offersRecoveryReloadAndSaving() {
        const testing_support::TempDir dir;
        const std::string original = fileText(designer_testing::sampleFormatPath("LABEL1"));
        const fs::path file = dir.write("LABEL1.json", original);
        {
            auto crashed = std::get<FormatFile>(FormatFile::open(file));
            QVERIFY(crashed.document().setFieldKey(0, "xMm", 41.0));
            QVERIFY(crashed.autosave());
        }
        auto window = this->window();
        answer_ = QMessageBox::Yes;
        QVERIFY(window->openFormat(qt(file)));
        QVERIFY(told_.size() == 1 && told_.front().contains(QStringLiteral("自動保存")));
        QCOMPARE(fieldJson(window->document(), 0)["xMm"].get<double>(), 41.0);
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
