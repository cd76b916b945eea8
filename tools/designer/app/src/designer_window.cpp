// SPDX-License-Identifier: MIT
#include "designer_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <cmath>

#include "canvas_view.h"
#include "checks_panel.h"
#include "cost_panel.h"
#include "data_panel.h"
#include "designer/canonical_json.h"
#include "designer/fit_check.h"
#include "edit_commands.h"
#include "finding_texts.h"
#include "property_panel.h"
#include "render/pdf.h"
#include "render/png.h"
#include "ruler.h"

namespace designer::gui {
namespace {

const QString kProgramName = QStringLiteral("ラベルデザイナー");
const QString kCopyMimeType = QStringLiteral("application/x-bcpctrl-designer");
constexpr int kScanDelayMs = 300;       // the read-back waits until edits pause
constexpr int kAutosaveEveryMs = 30000;
constexpr double kPasteOffsetMm = 1.0;
constexpr double kNewBlankWidthMm = 60.0;
constexpr double kNewBlankHeightMm = 40.0;
constexpr std::int16_t kNewBlankUsePrinter = 1;
constexpr int kMostCostLabels = 50;
constexpr int kStandardResolutions[] = {203, 300, 600};

QString qt(const std::string& text) { return QString::fromStdString(text); }

QString withoutAccelerator(QString text) { return text.remove(QLatin1Char('&')); }

}  // namespace

DesignerWindow::DesignerWindow(std::shared_ptr<render::Fonts> fonts, QWidget* parent)
    : QMainWindow(parent),
      fonts_(std::move(fonts)),
      canvas_(new CanvasView(this)),
      properties_(new PropertyPanel(this)),
      checks_(new ChecksPanel(this)),
      data_(new DataPanel(this)),
      cost_(new CostPanel(this)),
      cursorStatus_(new QLabel(this)),
      viewStatus_(new QLabel(this)),
      scanStatus_(new QLabel(this)),
      scanTimer_(new QTimer(this)),
      autosaveTimer_(new QTimer(this)),
      watcher_(new QFileSystemWatcher(this)) {
    setObjectName(QStringLiteral("designerWindow"));
    setAccessibleName(kProgramName);
    setCentralWidget(canvas_);
    ask_ = [this](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, kProgramName, text, buttons, this);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    };
    printers_ = readPrinterChoices();
    createPanels();
    createActions();
    createStatusBar();
    connectCanvas();
    scanTimer_->setSingleShot(true);
    scanTimer_->setInterval(kScanDelayMs);
    connect(scanTimer_, &QTimer::timeout, this, &DesignerWindow::scanNow);
    autosaveTimer_->setObjectName(QStringLiteral("autosaveTimer"));
    autosaveTimer_->setInterval(kAutosaveEveryMs);
    connect(autosaveTimer_, &QTimer::timeout, this, &DesignerWindow::autosave);
    autosaveTimer_->start();
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { QTimer::singleShot(0, this, &DesignerWindow::checkDiskChange); });
    properties_->setImageChooser([this] { return chooseImage(); });
    properties_->setDotsPerInch(dotsPerInch_);
    resize(1280, 820);
    attach(FormatFile::untitled(FormatDocument::blank(kNewBlankWidthMm, kNewBlankHeightMm, kNewBlankUsePrinter)));
}

DesignerWindow::~DesignerWindow() = default;

QMessageBox::StandardButton DesignerWindow::tell(QMessageBox::Icon icon, const QString& text,
                                                 QMessageBox::StandardButtons buttons) {
    return ask_(icon, text, buttons);
}

// ---- Actions ----

QAction* DesignerWindow::addAction(QMenu* menu, const QString& name, const QString& text, const QString& tip,
                                   const QKeySequence& keys, std::function<void()> run, bool onCanvas) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    action->setToolTip(keys.isEmpty() ? tip : QStringLiteral("%1 (%2)").arg(tip, keys.toString(QKeySequence::NativeText)));
    action->setStatusTip(tip);
    action->setWhatsThis(tip);
    action->setShortcut(keys);
    if (onCanvas) {
        // Keys that mean something else in a text field or a list (Delete, Ctrl+C, R, Page
        // Down) act on the canvas only.
        action->setShortcutContext(Qt::WidgetShortcut);
        canvas_->QWidget::addAction(action);
    }
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    if (menu != nullptr) menu->addAction(action);
    actions_[name] = action;
    return action;
}

void DesignerWindow::createActions() {
    createFileMenu();
    createEditMenu();
    createInsertMenu();
    createArrangeMenu();
    createViewMenu();
    createDataMenu();
    createHelpMenu();
    auto* tools = addToolBar(QStringLiteral("基本"));
    tools->setObjectName(QStringLiteral("mainToolBar"));
    tools->setAccessibleName(QStringLiteral("ツールバー"));
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const char* name : {"newFormat", "openFormat", "save", "undo", "redo", "insertText", "insertBarcode", "insertLine",
                             "insertBox", "insertImage", "turn", "zoomFit", "testPrint"}) {
        tools->addAction(actions_.at(QString::fromLatin1(name)));
    }
}

void DesignerWindow::createFileMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    addAction(menu, QStringLiteral("newFormat"), QStringLiteral("新規(&N)"), QStringLiteral("空のラベル書式を新しく作ります"),
              QKeySequence::New, [this] { newFormat(); });
    addAction(menu, QStringLiteral("openFormat"), QStringLiteral("開く(&O)..."), QStringLiteral("ラベル書式 (JSON) を開きます"),
              QKeySequence::Open, [this] {
                  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("ラベル書式を開く"), {},
                                                                    QStringLiteral("ラベル書式 (*.json);;すべてのファイル (*)"));
                  if (!path.isEmpty()) openFormat(path);
              });
    addAction(menu, QStringLiteral("save"), QStringLiteral("保存(&S)"),
              QStringLiteral("書式を保存します。元のファイルは FORMAT.json~ に残ります"), QKeySequence::Save, [this] { save(); });
    addAction(menu, QStringLiteral("saveAs"), QStringLiteral("名前を付けて保存(&A)..."),
              QStringLiteral("書式を別の名前で保存します。画像のパスは新しいフォルダーから見た相対パスに直します"),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { chooseSavePath(); });
    addAction(menu, QStringLiteral("reload"), QStringLiteral("読み込み直す(&R)"),
              QStringLiteral("ディスク上のファイルを読み込み直します (元に戻すで取り消せます)"), {}, [this] {
                  std::string why;
                  if (!file_->path().empty() && !file_->reload(&why)) {
                      tell(QMessageBox::Warning, QStringLiteral("読み込み直せませんでした: %1").arg(qt(why)));
                  }
                  declinedDiskBytes_.reset();
                  afterEdit();
              });
    menu->addSeparator();
    addAction(menu, QStringLiteral("exportPng"), QStringLiteral("PNG に書き出す(&P)..."),
              QStringLiteral("画面のラベルを、プリンターが受け取る 1 ビットの PNG に書き出します"), {}, [this] {
                  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("PNG に書き出す"), {},
                                                                    QStringLiteral("PNG (*.png)"));
                  if (!path.isEmpty()) exportPicture(path.endsWith(QStringLiteral(".png")) ? path : path + QStringLiteral(".png"));
              });
    addAction(menu, QStringLiteral("exportPdf"), QStringLiteral("PDF に書き出す(&D)..."),
              QStringLiteral("画面のラベルを PDF に書き出します (文字とバーコードはベクター)"), {}, [this] {
                  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("PDF に書き出す"), {},
                                                                    QStringLiteral("PDF (*.pdf)"));
                  if (!path.isEmpty()) exportPicture(path.endsWith(QStringLiteral(".pdf")) ? path : path + QStringLiteral(".pdf"));
              });
    addAction(menu, QStringLiteral("testPrint"), QStringLiteral("テスト印刷(&T)..."),
              QStringLiteral("いまのレコード (または見本の値) のラベルを、プリンター一覧のプリンターへ制御を通して 1 枚印刷します"),
              QKeySequence::Print, [this] { testPrint(); });
    menu->addSeparator();
    addAction(menu, QStringLiteral("quit"), QStringLiteral("終了(&X)"), QStringLiteral("デザイナーを終わります"),
              QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
}

void DesignerWindow::createEditMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    addAction(menu, QStringLiteral("undo"), QStringLiteral("元に戻す(&U)"), QStringLiteral("直前の変更を取り消します"),
              QKeySequence::Undo, [this] {
                  document().undo();
                  afterEdit();
              });
    addAction(menu, QStringLiteral("redo"), QStringLiteral("やり直す(&R)"), QStringLiteral("取り消した変更をもう一度行います"),
              QKeySequence::Redo, [this] {
                  document().redo();
                  afterEdit();
              });
    menu->addSeparator();
    addAction(menu, QStringLiteral("cut"), QStringLiteral("切り取り(&T)"), QStringLiteral("選んだ項目を切り取ります"),
              QKeySequence::Cut, [this] {
                  copySelection();
                  removeSelection(document(), canvas_->selection());
                  select({});
                  afterEdit();
              }, true);
    addAction(menu, QStringLiteral("copy"), QStringLiteral("コピー(&C)"), QStringLiteral("選んだ項目をコピーします"),
              QKeySequence::Copy, [this] { copySelection(); }, true);
    addAction(menu, QStringLiteral("paste"), QStringLiteral("貼り付け(&P)"),
              QStringLiteral("コピーした項目を貼り付けます。番号が使われていれば次の空き番号になります"), QKeySequence::Paste,
              [this] { pasteClipboard(); }, true);
    addAction(menu, QStringLiteral("duplicate"), QStringLiteral("複製(&D)"),
              QStringLiteral("選んだ項目を複製します。複製は次の空き番号になります"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] {
                  select(duplicateSelection(document(), canvas_->selection(), kPasteOffsetMm));
                  afterEdit();
              }, true);
    addAction(menu, QStringLiteral("delete"), QStringLiteral("削除(&L)"), QStringLiteral("選んだ項目を消します"),
              QKeySequence::Delete, [this] {
                  removeSelection(document(), canvas_->selection());
                  select({});
                  afterEdit();
              }, true);
    addAction(menu, QStringLiteral("selectAll"), QStringLiteral("すべて選択(&A)"), QStringLiteral("項目と線・枠・画像をすべて選びます"),
              QKeySequence::SelectAll, [this] {
                  if (document().format().ok()) select(allObjects(document().format().value()));
              }, true);
}

void DesignerWindow::createInsertMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("挿入(&I)"));
    addAction(menu, QStringLiteral("insertText"), QStringLiteral("文字項目(&T)"),
              QStringLiteral("文字の項目を次の空き番号で加えます"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T),
              [this] { insert(static_cast<int>(NewObject::TextField)); });
    addAction(menu, QStringLiteral("insertBarcode"), QStringLiteral("バーコード項目(&B)"),
              QStringLiteral("バーコードの項目を次の空き番号で加えます"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B),
              [this] { insert(static_cast<int>(NewObject::BarcodeField)); });
    addAction(menu, QStringLiteral("insertLine"), QStringLiteral("線(&L)"), QStringLiteral("線を加えます"),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), [this] { insert(static_cast<int>(NewObject::Line)); });
    addAction(menu, QStringLiteral("insertBox"), QStringLiteral("枠(&X)"), QStringLiteral("四角い枠を加えます"),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X), [this] { insert(static_cast<int>(NewObject::Box)); });
    addAction(menu, QStringLiteral("insertImage"), QStringLiteral("画像(&I)..."),
              QStringLiteral("PNG の画像を加えます (半分より暗いところが印字されます)"),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), [this] { insert(static_cast<int>(NewObject::Image)); });
}

void DesignerWindow::createArrangeMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("配置(&A)"));
    struct Entry {
        const char* name;
        QString text;
        QString tip;
        Arrangement arrangement;
    };
    const Entry entries[] = {
        {"alignLeft", QStringLiteral("左揃え(&L)"), QStringLiteral("選んだ項目の左端を揃えます"), Arrangement::AlignLeft},
        {"alignCentre", QStringLiteral("左右中央揃え(&C)"), QStringLiteral("選んだ項目の左右の中央を揃えます"),
         Arrangement::AlignHorizontalCentre},
        {"alignRight", QStringLiteral("右揃え(&R)"), QStringLiteral("選んだ項目の右端を揃えます"), Arrangement::AlignRight},
        {"alignTop", QStringLiteral("上揃え(&T)"), QStringLiteral("選んだ項目の上端を揃えます"), Arrangement::AlignTop},
        {"alignMiddle", QStringLiteral("上下中央揃え(&M)"), QStringLiteral("選んだ項目の上下の中央を揃えます"),
         Arrangement::AlignVerticalCentre},
        {"alignBottom", QStringLiteral("下揃え(&B)"), QStringLiteral("選んだ項目の下端を揃えます"), Arrangement::AlignBottom},
        {"centreInLabel", QStringLiteral("ラベルの中央へ(&N)"), QStringLiteral("選んだ項目をまとめてラベルの中央へ動かします"),
         Arrangement::CentreInLabel},
        {"distributeAcross", QStringLiteral("横に等間隔(&H)"), QStringLiteral("選んだ項目の横の間隔を等しくします (3 個以上)"),
         Arrangement::DistributeHorizontally},
        {"distributeDown", QStringLiteral("縦に等間隔(&V)"), QStringLiteral("選んだ項目の縦の間隔を等しくします (3 個以上)"),
         Arrangement::DistributeVertically},
        {"sameWidth", QStringLiteral("幅を揃える(&W)"), QStringLiteral("最初に選んだ項目の幅に揃えます"), Arrangement::SameWidth},
        {"sameHeight", QStringLiteral("高さを揃える(&E)"), QStringLiteral("最初に選んだ項目の高さに揃えます"),
         Arrangement::SameHeight},
    };
    for (const Entry& entry : entries) {
        if (entry.arrangement == Arrangement::AlignTop || entry.arrangement == Arrangement::CentreInLabel ||
            entry.arrangement == Arrangement::DistributeHorizontally || entry.arrangement == Arrangement::SameWidth) {
            menu->addSeparator();
        }
        const Arrangement arrangement = entry.arrangement;
        addAction(menu, QString::fromLatin1(entry.name), entry.text, entry.tip, {}, [this, arrangement] {
            arrangeSelection(document(), canvas_->selection(), arrangement);
            afterEdit();
        });
    }
    menu->addSeparator();
    addAction(menu, QStringLiteral("turn"), QStringLiteral("90 度回す(&O)"),
              QStringLiteral("選んだ項目を枠ごと右へ 90 度回します"), QKeySequence(Qt::Key_R), [this] {
                  turnSelection(document(), canvas_->selection());
                  afterEdit();
              }, true);
}

void DesignerWindow::createViewMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    addAction(menu, QStringLiteral("zoomFit"), QStringLiteral("全体を表示(&F)"),
              QStringLiteral("ラベル全体が入る、いちばん大きな整数倍で表示します"), QKeySequence(Qt::CTRL | Qt::Key_0),
              [this] { canvas_->zoomToFit(); });
    for (int zoom : CanvasView::kZoomSteps) {
        addAction(menu, QStringLiteral("zoom%1").arg(zoom), QStringLiteral("%1 倍(&%1)").arg(zoom),
                  QStringLiteral("1 ドットを画面の %1×%1 ピクセルで表示します").arg(zoom),
                  QKeySequence(QStringLiteral("Ctrl+%1").arg(zoom)), [this, zoom] { canvas_->setZoom(zoom); });
    }
    addAction(menu, QStringLiteral("zoomIn"), QStringLiteral("拡大(&I)"), QStringLiteral("一段大きく表示します (Ctrl+ホイール)"),
              QKeySequence::ZoomIn, [this] { canvas_->zoomInOrOut(1); });
    addAction(menu, QStringLiteral("zoomOut"), QStringLiteral("縮小(&O)"), QStringLiteral("一段小さく表示します (Ctrl+ホイール)"),
              QKeySequence::ZoomOut, [this] { canvas_->zoomInOrOut(-1); });
    menu->addSeparator();
    resolutionMenu_ = menu->addMenu(QStringLiteral("解像度(&R)"));
    resolutionGroup_ = new QActionGroup(this);
    rebuildResolutionMenu();

    QMenu* grid = menu->addMenu(QStringLiteral("グリッド(&G)"));
    auto* gridGroup = new QActionGroup(this);
    for (const double mm : {0.5, 1.0, 5.0}) {
        QAction* action = addAction(grid, QStringLiteral("grid%1").arg(mm * 10), QStringLiteral("%1 mm").arg(mm),
                                    QStringLiteral("グリッドの間隔を %1 mm にします").arg(mm), {}, [this, mm] { canvas_->setGridMm(mm); });
        action->setCheckable(true);
        action->setChecked(mm == 1.0);
        gridGroup->addAction(action);
    }
    grid->addSeparator();
    QAction* showGrid = addAction(grid, QStringLiteral("showGrid"), QStringLiteral("グリッドを表示(&S)"),
                                  QStringLiteral("グリッドの線をラベルの上に表示します"), QKeySequence(Qt::CTRL | Qt::Key_Apostrophe), {});
    showGrid->setCheckable(true);
    showGrid->setChecked(true);
    connect(showGrid, &QAction::toggled, canvas_, &CanvasView::setGridShown);
    QAction* snap = addAction(grid, QStringLiteral("snap"), QStringLiteral("スナップ(&N)"),
                              QStringLiteral("ドラッグをグリッド・ラベルの端と中央・ほかの項目の端に吸着させます (Shift を押す間は止まります)"),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Apostrophe), {});
    snap->setCheckable(true);
    snap->setChecked(true);
    connect(snap, &QAction::toggled, canvas_, &CanvasView::setSnapping);

    QAction* overlay = addAction(menu, QStringLiteral("showOverlay"), QStringLiteral("枠と番号を表示(&B)"),
                                 QStringLiteral("項目の枠・番号・ハンドル・読み取りの印をラベルの上に重ねます"),
                                 QKeySequence(Qt::CTRL | Qt::Key_B), {});
    overlay->setCheckable(true);
    overlay->setChecked(true);
    connect(overlay, &QAction::toggled, canvas_, &CanvasView::setOverlayShown);
    menu->addSeparator();
    for (QDockWidget* dock : docks_) menu->addAction(dock->toggleViewAction());
    addAction(menu, QStringLiteral("nextPane"), QStringLiteral("次の欄へ(&P)"),
              QStringLiteral("ラベル・プロパティ・検査・データ・コストの欄を順に移ります"), QKeySequence(Qt::Key_F6),
              [this] { cycleFocus(); });
}

void DesignerWindow::rebuildResolutionMenu() {
    resolutionMenu_->clear();
    for (QAction* action : resolutionGroup_->actions()) resolutionGroup_->removeAction(action);
    const auto addResolution = [this](const QString& name, const QString& text, int dpi) {
        QAction* action = addAction(resolutionMenu_, name, text,
                                    QStringLiteral("ラベルを %1 dpi のドットで描きます").arg(dpi), {}, [this, dpi] { setDotsPerInch(dpi); });
        action->setCheckable(true);
        action->setChecked(dpi == dotsPerInch_);
        resolutionGroup_->addAction(action);
    };
    for (int dpi : kStandardResolutions) addResolution(QStringLiteral("dpi%1").arg(dpi), QStringLiteral("%1 dpi").arg(dpi), dpi);
    resolutionMenu_->addSeparator();
    for (const PrinterChoice& printer : printers_.printers) {
        if (printer.dotsPerInch <= 0) continue;
        addResolution(QStringLiteral("dpiOf:%1").arg(qt(printer.name)),
                      QStringLiteral("%1 (%2 dpi)").arg(qt(printer.name)).arg(printer.dotsPerInch), printer.dotsPerInch);
    }
}

void DesignerWindow::createDataMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("データ(&D)"));
    addAction(menu, QStringLiteral("openData"), QStringLiteral("データファイルを開く(&O)..."),
              QStringLiteral("プログラムが読むデータファイルを開き、レコードをラベルに表示します"),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), [this] {
                  const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("データファイルを開く"), {},
                                                                    QStringLiteral("データファイル (*.DAT *.dat *.csv *.txt);;すべてのファイル (*)"));
                  if (!file.isEmpty()) openData(file, {});
              });
    addAction(menu, QStringLiteral("closeData"), QStringLiteral("データファイルを閉じる(&C)"),
              QStringLiteral("データファイルを閉じて見本の値を表示します"), {}, [this] { data_->closeDataFile(); });
    menu->addSeparator();
    addAction(menu, QStringLiteral("previousRecord"), QStringLiteral("前のレコード(&P)"), QStringLiteral("一つ前のレコードを表示します"),
              QKeySequence(Qt::Key_PageUp), [this] {
                  if (const DataRecord* record = data_->currentRecord()) data_->showRecord(record->number - 1);
              }, true);
    addAction(menu, QStringLiteral("nextRecord"), QStringLiteral("次のレコード(&N)"), QStringLiteral("次のレコードを表示します"),
              QKeySequence(Qt::Key_PageDown), [this] {
                  const DataRecord* record = data_->currentRecord();
                  data_->showRecord(record != nullptr ? record->number + 1 : 1);
              }, true);
    addAction(menu, QStringLiteral("firstRecord"), QStringLiteral("最初のレコード(&F)"), QStringLiteral("最初のレコードを表示します"),
              QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { data_->showRecord(1); }, true);
    addAction(menu, QStringLiteral("lastRecord"), QStringLiteral("最後のレコード(&L)"), QStringLiteral("最後のレコードを表示します"),
              QKeySequence(Qt::CTRL | Qt::Key_End), [this] {
                  if (data_->records()) data_->showRecord(data_->records()->size());
              }, true);
    addAction(menu, QStringLiteral("sampleValues"), QStringLiteral("見本の値(&S)"),
              QStringLiteral("レコードではなく各項目の見本の値を表示します"), {}, [this] { data_->showSampleValues(); });
    menu->addSeparator();
    addAction(menu, QStringLiteral("fitCheck"), QStringLiteral("はみ出し検査(&K)"),
              QStringLiteral("データファイルの全レコードで、縮む・切れる・拒まれる・読めない項目を調べます"), QKeySequence(Qt::Key_F7),
              [this] { runFitCheck(); });
    addAction(menu, QStringLiteral("cost"), QStringLiteral("コストを計算(&T)"),
              QStringLiteral("ZPL プリンターでのラベルのバイト数と送る時間を計算します"), QKeySequence(Qt::Key_F8),
              [this] { recalculateCost(); });
}

void DesignerWindow::createHelpMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    addAction(menu, QStringLiteral("keyHelp"), QStringLiteral("キー操作(&K)"), QStringLiteral("キーボードだけで使うための操作の一覧です"),
              QKeySequence::HelpContents, [this] { showKeyHelp(); });
    addAction(menu, QStringLiteral("about"), QStringLiteral("このプログラムについて(&A)"), QStringLiteral("版と説明を表示します"), {},
              [this] {
                  tell(QMessageBox::Information,
                       QStringLiteral("bcpctrl-designer\nラベル書式をプリンターのドットのままで作るデザイナーです。"
                                      "描画は制御のレンダラー、読み込みは制御の LoadFormat と同じものを使います。"));
              });
}

void DesignerWindow::showKeyHelp() {
    tell(QMessageBox::Information,
         QStringLiteral("ラベルの画面で:\n"
                        "  Tab / Shift+Tab  項目を番号順に選ぶ\n"
                        "  矢印  1 ドット動かす / Shift+矢印  1 mm 動かす\n"
                        "  Alt+矢印  1 ドット大きさを変える / Alt+Shift+矢印  1 mm\n"
                        "  R  90 度回す / Delete  削除 / Ctrl+D  複製\n"
                        "  Ctrl+C / Ctrl+V  コピー / 貼り付け\n"
                        "  Esc  選択をやめる (ドラッグ中は取り消す)\n"
                        "  Space+ドラッグ・中ボタンのドラッグ  画面を動かす\n"
                        "  Ctrl+ホイール  カーソルの位置で拡大・縮小\n"
                        "  Ctrl+Tab  次の欄へ / F6  欄を順に移る\n"
                        "ドラッグ中に Shift を押すとスナップが止まります。"));
}

// ---- Panels and status ----

void DesignerWindow::createPanels() {
    const auto dock = [this](QWidget* panel, const QString& name, const QString& title, Qt::DockWidgetArea area) {
        // The panel never shrinks below what its rows need: the dock scrolls instead.
        panel->layout()->setSizeConstraint(QLayout::SetMinimumSize);
        auto* scroll = new QScrollArea(this);
        scroll->setWidget(panel);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        auto* widget = new QDockWidget(title, this);
        widget->setObjectName(name);
        widget->setWidget(scroll);
        widget->setAccessibleName(withoutAccelerator(title));
        widget->toggleViewAction()->setToolTip(QStringLiteral("%1の欄を出す・隠す").arg(withoutAccelerator(title)));
        widget->toggleViewAction()->setObjectName(name + QStringLiteral("Toggle"));
        addDockWidget(area, widget);
        docks_.push_back(widget);
        return widget;
    };
    dock(properties_, QStringLiteral("propertiesDock"), QStringLiteral("プロパティ"), Qt::RightDockWidgetArea);
    QDockWidget* checks = dock(checks_, QStringLiteral("checksDock"), QStringLiteral("検査"), Qt::RightDockWidgetArea);
    QDockWidget* dataDock = dock(data_, QStringLiteral("dataDock"), QStringLiteral("データ"), Qt::BottomDockWidgetArea);
    QDockWidget* costDock = dock(cost_, QStringLiteral("costDock"), QStringLiteral("コスト"), Qt::BottomDockWidgetArea);
    splitDockWidget(docks_.front(), checks, Qt::Vertical);
    tabifyDockWidget(dataDock, costDock);
    dataDock->raise();
    resizeDocks({docks_.front()}, {380}, Qt::Horizontal);
    resizeDocks({docks_.front(), checks}, {3, 2}, Qt::Vertical);
    resizeDocks({dataDock}, {210}, Qt::Vertical);

    connect(properties_, &PropertyPanel::edited, this, &DesignerWindow::afterEdit);
    connect(checks_, &ChecksPanel::elementChosen, this, &DesignerWindow::selectElement);
    connect(data_, &DataPanel::elementChosen, this, &DesignerWindow::selectElement);
    connect(data_, &DataPanel::recordChanged, this, [this] {
        redraw(nullptr);  // the same format with other values: the checker stays
        scanTimer_->start();
    });
    connect(data_, &DataPanel::openRequested, this, [this] { actions_.at(QStringLiteral("openData"))->trigger(); });
    connect(data_, &DataPanel::fitCheckRequested, this, &DesignerWindow::runFitCheck);
    connect(cost_, &CostPanel::recalculateRequested, this, &DesignerWindow::recalculateCost);
    if (!printers_.problem.empty()) {
        cost_->setDestinations({}, QStringLiteral("プリンター一覧を読めません: %1。").arg(qt(printers_.problem)));
    } else {
        auto destinations = zplDestinations(printers_.systemDirectory);
        if (auto* list = std::get_if<std::vector<ZplDestination>>(&destinations)) {
            cost_->setDestinations(std::move(*list), {});
        } else {
            cost_->setDestinations({}, QStringLiteral("プリンター一覧を読めません: %1。").arg(qt(std::get<std::string>(destinations))));
        }
    }
}

void DesignerWindow::createStatusBar() {
    cursorStatus_->setObjectName(QStringLiteral("cursorStatus"));
    cursorStatus_->setAccessibleName(QStringLiteral("カーソルの位置"));
    cursorStatus_->setMinimumWidth(300);
    viewStatus_->setObjectName(QStringLiteral("viewStatus"));
    viewStatus_->setAccessibleName(QStringLiteral("解像度と拡大率"));
    scanStatus_->setObjectName(QStringLiteral("scanStatus"));
    scanStatus_->setAccessibleName(QStringLiteral("バーコードの読み取り"));
    statusBar()->addWidget(cursorStatus_);
    statusBar()->addPermanentWidget(scanStatus_);
    statusBar()->addPermanentWidget(viewStatus_);
}

void DesignerWindow::connectCanvas() {
    connect(canvas_, &CanvasView::selectionChanged, this, [this] {
        properties_->setSelection(canvas_->selection());
        updateActions();
    });
    connect(canvas_, &CanvasView::placementsPreviewed, this, [this](const PlacementChanges& changes) { redraw(&changes); });
    connect(canvas_, &CanvasView::placementsCommitted, this, [this](const PlacementChanges& changes, const QString& name) {
        applyPlacements(document(), changes, name.toStdString());
        afterEdit();
        redraw(nullptr);  // also when nothing changed: the drag's preview is replaced
    });
    connect(canvas_, &CanvasView::cursorMoved, this, [this](double xMm, double yMm, int xDots, int yDots, bool onLabel) {
        cursorStatus_->setText(onLabel ? QStringLiteral("X %1 mm  Y %2 mm  (%3, %4 ドット)")
                                             .arg(xMm, 0, 'f', 2)
                                             .arg(yMm, 0, 'f', 2)
                                             .arg(xDots)
                                             .arg(yDots)
                                       : QString());
    });
    connect(canvas_, &CanvasView::zoomChanged, this, [this](int zoom, bool whole) {
        viewStatus_->setText(QStringLiteral("%1 dpi  %2 倍%3  目盛り: %4")
                                 .arg(dotsPerInch_)
                                 .arg(zoom)
                                 .arg(whole ? QStringLiteral(" (全体)") : QString())
                                 .arg(Ruler::countsDots(zoom) ? QStringLiteral("ドット") : QStringLiteral("mm")));
    });
}

void DesignerWindow::cycleFocus() {
    // Every pane not closed, a tab behind another too: it comes to the front.
    std::vector<QWidget*> panes{canvas_};
    for (QDockWidget* dock : docks_) {
        if (dock->toggleViewAction()->isChecked()) panes.push_back(dock);
    }
    std::size_t current = 0;
    for (std::size_t i = 0; i < panes.size(); ++i) {
        if (panes[i]->isAncestorOf(QApplication::focusWidget()) || panes[i] == QApplication::focusWidget()) current = i;
    }
    QWidget* next = panes[(current + 1) % panes.size()];
    if (next == canvas_) {
        canvas_->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    static_cast<QDockWidget*>(next)->raise();
    // The pane's first field that takes the keyboard.
    for (QWidget* child : next->findChildren<QWidget*>()) {
        if (child->focusPolicy() & Qt::TabFocus && child->isVisibleTo(next) && child->isEnabled()) {
            child->setFocus(Qt::ShortcutFocusReason);
            return;
        }
    }
}

// ---- The document ----

void DesignerWindow::attach(FormatFile file) {
    if (file_ && !file_->path().empty()) watcher_->removePath(QString::fromStdString(file_->path().string()));
    file_.emplace(std::move(file));
    checker_.reset();
    checkerRevision_ = UINT64_MAX;
    shownRevision_ = UINT64_MAX;
    declinedDiskBytes_.reset();
    if (!file_->path().empty()) watcher_->addPath(QString::fromStdString(file_->path().string()));
    canvas_->setSelection({});
    properties_->setDocument(&file_->document());
    documentChanged();
    canvas_->zoomToFit();
}

bool DesignerWindow::newFormat() {
    if (!maybeSave()) return false;
    attach(FormatFile::untitled(FormatDocument::blank(kNewBlankWidthMm, kNewBlankHeightMm, kNewBlankUsePrinter)));
    return true;
}

bool DesignerWindow::openFormat(const QString& path) {
    if (!maybeSave()) return false;
    auto opened = FormatFile::open(path.toStdString());
    if (auto* why = std::get_if<std::string>(&opened)) {
        tell(QMessageBox::Warning, QStringLiteral("「%1」を開けません: %2").arg(path, qt(*why)));
        return false;
    }
    attach(std::move(std::get<FormatFile>(opened)));
    offerRecovery();
    return true;
}

void DesignerWindow::offerRecovery() {
    if (!file_->recoverableText()) return;
    const auto answer = tell(QMessageBox::Question,
                             QStringLiteral("「%1」には、前回保存されずに終わった変更が自動保存で残っています。\n"
                                            "復元しますか? (復元は「元に戻す」で取り消せます。「いいえ」で自動保存を捨てます)")
                                 .arg(qt(file_->path().filename().string())),
                             QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        file_->recover();
    } else {
        file_->discardAutosave();
    }
    afterEdit();
}

bool DesignerWindow::maybeSave() {
    if (!file_ || !document().isModified()) return true;
    const QString name = file_->path().empty() ? QStringLiteral("新しい書式") : qt(file_->path().filename().string());
    const auto answer = tell(QMessageBox::Warning, QStringLiteral("「%1」の変更は保存されていません。保存しますか?").arg(name),
                             QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Save) return save();
    if (answer == QMessageBox::Discard) {
        file_->discardAutosave();
        return true;
    }
    return false;
}

bool DesignerWindow::chooseSavePath() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("名前を付けて保存"), {},
                                                      QStringLiteral("ラベル書式 (*.json)"));
    if (path.isEmpty()) return false;
    return saveAs(path.endsWith(QStringLiteral(".json")) ? path : path + QStringLiteral(".json"));
}

bool DesignerWindow::save() {
    if (file_->path().empty()) return chooseSavePath();
    return saveTo(std::nullopt);
}

bool DesignerWindow::saveAs(const QString& path) { return saveTo(path); }

bool DesignerWindow::saveTo(const std::optional<QString>& newPath) {
    const std::filesystem::path before = file_->path();
    if (!before.empty()) watcher_->removePath(qt(before.string()));
    const SaveResult result = newPath ? file_->saveAs(newPath->toStdString()) : file_->save();
    // The file is a new one after the rename: watched afresh.
    if (!file_->path().empty()) watcher_->addPath(qt(file_->path().string()));
    declinedDiskBytes_.reset();
    if (!result.saved) {
        tell(QMessageBox::Critical, QStringLiteral("「%1」へ保存できませんでした。%2\n\n理由: %3")
                                        .arg(newPath.value_or(qt(before.string())),
                                             before.empty() ? QString() : QStringLiteral("元のファイルはそのままです。"), qt(result.error)));
        return false;
    }
    if (!result.warnings.empty()) {
        QString list;
        for (const Finding& finding : result.warnings) list += QStringLiteral("・%1: %2\n").arg(placeText(finding), findingText(finding));
        tell(QMessageBox::Warning, QStringLiteral("保存しました。ただしこのままでは、プログラムの LoadFormat が次のエラーで読み込みを拒みます:\n\n%1")
                                       .arg(list));
    }
    if (newPath) {
        checker_.reset();  // images are now found from the new folder
        checkerRevision_ = UINT64_MAX;
        redraw(nullptr);
    }
    afterEdit();
    updateTitle();
    return true;
}

void DesignerWindow::autosave() {
    if (file_ && !file_->path().empty() && document().isModified()) file_->autosave();
}

void DesignerWindow::checkDiskChange() {
    if (!file_ || file_->path().empty() || askingAboutDisk_ || !file_->changedOnDisk()) return;
    QFile disk(qt(file_->path().string()));
    const QByteArray bytes = disk.open(QIODevice::ReadOnly) ? disk.readAll() : QByteArray();
    if (declinedDiskBytes_ && *declinedDiskBytes_ == bytes) return;  // this change was already declined
    askingAboutDisk_ = true;
    const auto answer = tell(QMessageBox::Question,
                             QStringLiteral("「%1」がほかのプログラムで変更されました。読み込み直しますか?%2")
                                 .arg(qt(file_->path().filename().string()),
                                      document().isModified() ? QStringLiteral("\n(いまの変更は「元に戻す」で取り戻せます)") : QString()),
                             QMessageBox::Yes | QMessageBox::No);
    askingAboutDisk_ = false;
    if (answer == QMessageBox::Yes) {
        std::string why;
        if (!file_->reload(&why)) tell(QMessageBox::Warning, QStringLiteral("読み込み直せませんでした: %1").arg(qt(why)));
        declinedDiskBytes_.reset();
        afterEdit();
    } else {
        declinedDiskBytes_ = bytes;
    }
    watcher_->addPath(qt(file_->path().string()));
}

void DesignerWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) QTimer::singleShot(0, this, &DesignerWindow::checkDiskChange);
}

void DesignerWindow::closeEvent(QCloseEvent* event) {
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    scanTimer_->stop();
    autosaveTimer_->stop();
    event->accept();
}

// ---- Edits and drawing ----

void DesignerWindow::afterEdit() {
    if (document().revision() != shownRevision_) documentChanged();
}

void DesignerWindow::documentChanged() {
    shownRevision_ = document().revision();
    redraw(nullptr);
    properties_->refresh();
    updateActions();
    updateTitle();
    scanTimer_->start();
}

std::optional<std::int16_t> DesignerWindow::programUsePrinter() const {
    if (!data_->records()) return std::nullopt;
    return data_->records()->kind().edition->usePrinter;
}

labelformat::FieldValues DesignerWindow::shownValues() const {
    if (const DataRecord* record = data_->currentRecord()) return record->values();
    return sampleValues(file_->document());
}

LabelChecker* DesignerWindow::checkerFor(const labelformat::LabelFormat& format, bool preview) {
    if (!preview && checker_ && checkerRevision_ == document().revision()) return &*checker_;
    auto created = LabelChecker::create(format, fonts_);
    if (!created.ok()) return nullptr;
    checker_.emplace(std::move(created.value()));
    // A drag's checker draws one preview; the document's is kept for the read-back.
    checkerRevision_ = preview ? UINT64_MAX : document().revision();
    return &*checker_;
}

void DesignerWindow::redraw(const PlacementChanges* preview) {
    const auto& outcome = document().format();
    loadFindings_ = loadErrors(document(), programUsePrinter());
    if (!outcome.ok()) {
        proof_ = LabelProof{};
        scanned_ = false;
        showChecks();
        return;
    }
    const labelformat::LabelFormat format = preview != nullptr ? withPlacements(outcome.value(), *preview) : outcome.value();
    canvas_->setFormat(format);
    LabelChecker* checker = checkerFor(format, preview != nullptr);
    if (checker == nullptr) {
        // An image the renderer cannot read: the label cannot be drawn (1300, in the checks).
        canvas_->setPicture(render::Raster::blank(render::mmToDots(format.widthMm, dotsPerInch_),
                                                  render::mmToDots(format.heightMm, dotsPerInch_), dotsPerInch_));
        if (preview == nullptr) {
            proof_ = LabelProof{};
            scanned_ = false;
            showChecks();
        }
        return;
    }
    LabelProof proof = checker->proof(shownValues(), ProofOptions{dotsPerInch_, false});
    canvas_->setPicture(proof.picture);
    if (preview != nullptr) return;
    proof_ = std::move(proof);
    scanned_ = false;
    showChecks();
}

void DesignerWindow::scanNow() {
    scanTimer_->stop();
    const auto& outcome = document().format();
    if (!outcome.ok()) return;
    LabelChecker* checker = checkerFor(outcome.value(), false);
    if (checker == nullptr) return;
    proof_ = checker->proof(shownValues(), ProofOptions{dotsPerInch_, true});
    canvas_->setPicture(proof_.picture);
    scanned_ = true;
    showChecks();
}

void DesignerWindow::showChecks() {
    std::vector<Finding> findings = loadFindings_;
    findings.insert(findings.end(), proof_.findings.begin(), proof_.findings.end());
    if (const DataRecord* record = data_->currentRecord(); record != nullptr && record->refused()) {
        Finding refusal;
        refusal.kind = FindingKind::RecordRefused;
        refusal.detail = record->refusal;
        findings.insert(findings.begin(), refusal);
    }
    std::map<std::int16_t, bool> flagged;
    for (const Finding& finding : findings) {
        if (finding.fieldNumber != 0) flagged[finding.fieldNumber] |= finding.refusesOrUnreadable();
    }
    canvas_->setFlaggedFields(std::move(flagged));
    std::map<std::int16_t, ScanMark> marks;
    if (scanned_) {
        for (const BarcodeScan& scan : proof_.scans) {
            marks[scan.fieldNumber] = scan.readBack ? ScanMark{QStringLiteral("✓ 読取"), true} : ScanMark{QStringLiteral("✗ 読めない"), false};
        }
    }
    canvas_->setScanMarks(std::move(marks));
    const int scannedCount = proof_.barcodesScanned();
    checks_->showFindings(findings, scannedCount, scanned_ ? proof_.barcodesReadBack() : -1);
    scanStatus_->setText(scannedCount == 0 ? QString()
                         : scanned_        ? QStringLiteral("%1/%2 スキャン").arg(proof_.barcodesReadBack()).arg(scannedCount)
                                           : QStringLiteral("スキャン待ち"));
}

void DesignerWindow::setDotsPerInch(int dotsPerInch) {
    dotsPerInch_ = dotsPerInch;
    for (QAction* action : resolutionGroup_->actions()) {
        if (action->objectName() == QStringLiteral("dpi%1").arg(dotsPerInch)) action->setChecked(true);
    }
    properties_->setDotsPerInch(dotsPerInch);
    redraw(nullptr);
    canvas_->zoomToFit();
    scanTimer_->start();
}

void DesignerWindow::select(std::vector<ObjectRef> selection) {
    canvas_->setSelection(std::move(selection));
    properties_->setSelection(canvas_->selection());
    updateActions();
}

void DesignerWindow::selectElement(ElementRef element) {
    select({element});
    canvas_->setFocus(Qt::OtherFocusReason);
}

void DesignerWindow::updateActions() {
    const std::size_t selected = canvas_->selection().size();
    for (const char* name : {"cut", "copy", "duplicate", "delete", "turn", "centreInLabel"}) {
        actions_.at(QString::fromLatin1(name))->setEnabled(selected > 0);
    }
    for (const char* name : {"alignLeft", "alignCentre", "alignRight", "alignTop", "alignMiddle", "alignBottom", "sameWidth", "sameHeight"}) {
        actions_.at(QString::fromLatin1(name))->setEnabled(selected > 1);
    }
    actions_.at(QStringLiteral("distributeAcross"))->setEnabled(selected > 2);
    actions_.at(QStringLiteral("distributeDown"))->setEnabled(selected > 2);
    QAction* undo = actions_.at(QStringLiteral("undo"));
    QAction* redo = actions_.at(QStringLiteral("redo"));
    undo->setEnabled(document().canUndo());
    redo->setEnabled(document().canRedo());
    undo->setText(document().canUndo() ? QStringLiteral("元に戻す(&U): %1").arg(qt(document().undoName())) : QStringLiteral("元に戻す(&U)"));
    redo->setText(document().canRedo() ? QStringLiteral("やり直す(&R): %1").arg(qt(document().redoName())) : QStringLiteral("やり直す(&R)"));
    actions_.at(QStringLiteral("reload"))->setEnabled(!file_->path().empty());
}

void DesignerWindow::updateTitle() {
    const QString name = file_->path().empty() ? QStringLiteral("新しい書式") : qt(file_->path().filename().string());
    setWindowTitle(QStringLiteral("%1[*] - %2").arg(name, kProgramName));
    setWindowModified(document().isModified());
}

void DesignerWindow::insert(int kind) {
    const auto newObject = static_cast<NewObject>(kind);
    std::string image;
    if (newObject == NewObject::Image) {
        const QString chosen = chooseImage();
        if (chosen.isEmpty()) return;
        image = imagePathFor(document().directory(), chosen.toStdString());
    }
    // At the middle of what the canvas shows, on a whole millimetre.
    const QPointF centre = canvas_->dotsAt(QPointF(canvas_->viewport()->rect().center()));
    const double xMm = std::max(0.0, std::round(dotsToMm(centre.x(), dotsPerInch_)) - 5.0);
    const double yMm = std::max(0.0, std::round(dotsToMm(centre.y(), dotsPerInch_)) - 2.0);
    if (const auto added = addObject(document(), newObject, xMm, yMm, image)) {
        select({*added});
    } else {
        tell(QMessageBox::Warning, QStringLiteral("項目番号 1〜32767 がすべて使われているため、項目を加えられません。"));
    }
    afterEdit();
    canvas_->setFocus(Qt::OtherFocusReason);
}

QString DesignerWindow::chooseImage() {
    const QString folder = document().directory().empty() ? QString() : qt(document().directory().string());
    return QFileDialog::getOpenFileName(this, QStringLiteral("画像を選ぶ"), folder, QStringLiteral("PNG 画像 (*.png)"));
}

void DesignerWindow::copySelection() {
    if (canvas_->selection().empty()) return;
    const std::string text = copiedText(document(), canvas_->selection());
    auto* mime = new QMimeData;
    mime->setData(kCopyMimeType, QByteArray::fromStdString(text));
    mime->setText(qt(text));
    QGuiApplication::clipboard()->setMimeData(mime);
}

void DesignerWindow::pasteClipboard() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime == nullptr) return;
    const std::string text = mime->hasFormat(kCopyMimeType) ? mime->data(kCopyMimeType).toStdString() : mime->text().toStdString();
    if (const auto pasted = paste(document(), text, kPasteOffsetMm)) select(*pasted);
    afterEdit();
}

// ---- Data, checks, cost, output ----

bool DesignerWindow::openData(const QString& file, const QString& kindName) {
    QString problem;
    if (!data_->openDataFile(file, kindName, &problem)) {
        tell(QMessageBox::Warning, QStringLiteral("データファイル「%1」を開けません:\n%2").arg(file, problem));
        return false;
    }
    return true;
}

void DesignerWindow::runFitCheck() {
    if (!data_->records()) {
        tell(QMessageBox::Information, QStringLiteral("はみ出し検査には、先にデータファイルを開いてください。"));
        return;
    }
    const auto& outcome = document().format();
    if (!outcome.ok()) {
        tell(QMessageBox::Warning, QStringLiteral("書式を読めないため検査できません (検査の欄を見てください)。"));
        return;
    }
    auto checker = LabelChecker::create(outcome.value(), fonts_);
    if (!checker.ok()) {
        tell(QMessageBox::Warning, QStringLiteral("書式の画像を読めないため検査できません。"));
        return;
    }
    scanTimer_->stop();
    QProgressDialog progress(QStringLiteral("全レコードを検査しています…"), QStringLiteral("止める"), 0,
                             static_cast<int>(data_->records()->size()), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    FitOptions options;
    options.proof = ProofOptions{dotsPerInch_, true};
    options.progress = [&progress](std::int64_t done, std::int64_t) {
        progress.setValue(static_cast<int>(done));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return !progress.wasCanceled();
    };
    const FitReport report = checkFit(checker.value(), *data_->records(), options);
    progress.reset();
    data_->showFit(report);
    docks_[2]->raise();  // the data panel, where the results are
}

void DesignerWindow::recalculateCost() {
    const ZplDestination* destination = cost_->destination();
    const auto& outcome = document().format();
    if (destination == nullptr || !outcome.ok()) {
        cost_->showProblem(QStringLiteral("書式を読めないため計算できません。"));
        return;
    }
    std::vector<labelformat::FieldValues> labels;
    if (data_->records()) {
        for (const DataRecord& record : data_->records()->records()) {
            if (record.refused()) continue;
            labels.push_back(labelValues(outcome.value(), record.values()));
            if (labels.size() >= static_cast<std::size_t>(kMostCostLabels)) break;
        }
    }
    if (labels.empty()) labels.push_back(labelValues(outcome.value(), shownValues()));
    const auto cost = labelCost(outcome.value(), fonts_, *destination, labels);
    if (const auto* error = std::get_if<int>(&cost)) {
        cost_->showProblem(QStringLiteral("エラー %1: ラベルが拒まれるため計算できません (検査の欄を見てください)。").arg(*error));
        return;
    }
    cost_->showCost(std::get<LabelCost>(cost), static_cast<int>(labels.size()));
}

bool DesignerWindow::exportPicture(const QString& path) {
    if (proof_.picture.widthDots == 0) {
        tell(QMessageBox::Warning, QStringLiteral("書き出すラベルがありません (書式を読めません)。"));
        return false;
    }
    const bool pdf = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    const std::string bytes = pdf ? render::labelPdf(proof_.layout) : render::encodePng(proof_.picture);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !out.commit()) {
        tell(QMessageBox::Critical, QStringLiteral("「%1」に書き出せませんでした: %2").arg(path, out.errorString()));
        return false;
    }
    return true;
}

void DesignerWindow::testPrint() {
    if (printers_.printers.empty()) {
        tell(QMessageBox::Warning, printers_.problem.empty()
                                       ? QStringLiteral("プリンター一覧 (printers.json) にプリンターがありません。")
                                       : QStringLiteral("プリンター一覧を読めません: %1").arg(qt(printers_.problem)));
        return;
    }
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("テスト印刷"));
    auto* layout = new QFormLayout(&dialog);
    auto* printer = new QComboBox(&dialog);
    printer->setAccessibleName(QStringLiteral("プリンター"));
    printer->setToolTip(QStringLiteral("プリンター一覧 (%1) のプリンター").arg(qt((printers_.systemDirectory / "printers.json").string())));
    for (const PrinterChoice& choice : printers_.printers) printer->addItem(qt(choice.name));
    const DataRecord* record = data_->currentRecord();
    layout->addRow(QStringLiteral("ラベル:"), new QLabel(record != nullptr ? QStringLiteral("レコード %1").arg(record->number)
                                                                        : QStringLiteral("見本の値"), &dialog));
    layout->addRow(QStringLiteral("プリンター(&P):"), printer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("印刷"));
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return;
    if (record != nullptr && record->refused()) {
        tell(QMessageBox::Warning, QStringLiteral("このレコードはプログラムが拒むため印刷しません:\n%1").arg(qt(record->refusal)));
        return;
    }
    // The document as it stands, in a file of its own; its images still found where they are.
    QTemporaryDir folder;
    const std::filesystem::path formatFile = std::filesystem::path(folder.path().toStdString()) / "TESTPRINT.json";
    QFile out(qt(formatFile.string()));
    const std::string text = writeCanonical(withImagesRelocated(document().json(), document().directory(), formatFile.parent_path()));
    if (!folder.isValid() || !out.open(QIODevice::WriteOnly) || out.write(text.data(), static_cast<qint64>(text.size())) < 0) {
        tell(QMessageBox::Critical, QStringLiteral("テスト印刷の書式を一時ファイルに書けません。"));
        return;
    }
    out.close();
    std::vector<std::pair<std::int16_t, std::string>> setFields;
    if (record != nullptr) {
        setFields = record->setFields;
    } else {
        for (const auto& [number, value] : sampleValues(document())) setFields.emplace_back(number, value);
    }
    const auto& outcome = document().format();
    const std::int16_t usePrinter = programUsePrinter().value_or(outcome.ok() ? outcome.value().usePrinter : std::int16_t{0});
    const PrinterChoice& chosen = printers_.printers[static_cast<std::size_t>(std::max(0, printer->currentIndex()))];
    const TestPrintOutcome result = printTestLabel(formatFile, usePrinter, chosen, setFields, fonts_);
    if (result.printed) {
        tell(QMessageBox::Information, QStringLiteral("テスト印刷を「%1」へ送りました。").arg(qt(chosen.name)));
    } else {
        tell(QMessageBox::Warning, QStringLiteral("テスト印刷できませんでした (%1 で結果 0x%2):\n%3")
                                       .arg(qt(result.failedStep))
                                       .arg(static_cast<std::uint32_t>(result.result), 8, 16, QLatin1Char('0'))
                                       .arg(qt(result.message)));
    }
}

}  // namespace designer::gui
