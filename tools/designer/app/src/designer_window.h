// SPDX-License-Identifier: MIT
// The designer's window: the canvas in the middle, the property, checks, data and cost
// panels around it, every command an action with its Japanese text, tooltip and key.
// The format document is the core's; every change goes through it as an undoable step and
// the canvas is redrawn by the renderer after each.
#pragma once

#include <QMainWindow>
#include <QMessageBox>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "designer/format_file.h"
#include "designer/label_proof.h"
#include "geometry.h"
#include "printer_choices.h"
#include "render/fonts.h"

class QActionGroup;
class QDockWidget;
class QFileSystemWatcher;
class QLabel;
class QTimer;

namespace designer::gui {

class CanvasView;
class ChecksPanel;
class CostPanel;
class DataPanel;
class PropertyPanel;

class DesignerWindow : public QMainWindow {
    Q_OBJECT

public:
    // Asks or tells the user something; the answer is the button pressed. Tests answer
    // without a dialog.
    using Asker = std::function<QMessageBox::StandardButton(QMessageBox::Icon icon, const QString& text,
                                                            QMessageBox::StandardButtons buttons)>;

    explicit DesignerWindow(std::shared_ptr<render::Fonts> fonts, QWidget* parent = nullptr);
    ~DesignerWindow() override;

    void setAsker(Asker asker) { ask_ = std::move(asker); }

    // Each asks about unsaved changes first; false when nothing was done.
    bool newFormat();
    bool openFormat(const QString& path);
    bool save();
    bool saveAs(const QString& path);
    bool openData(const QString& file, const QString& kindName);
    bool exportPicture(const QString& path);  // .png or .pdf, as bcpctrl-render writes them
    void runFitCheck();
    void recalculateCost();
    // The barcodes read back now rather than when the window has been idle for a moment.
    void scanNow();
    // Whether the file changed on disk, and then the offer to read it again.
    void checkDiskChange();

    void setDotsPerInch(int dotsPerInch);
    int dotsPerInch() const { return dotsPerInch_; }

    FormatDocument& document() { return file_->document(); }
    const FormatFile& formatFile() const { return *file_; }
    CanvasView* canvas() const { return canvas_; }
    ChecksPanel* checksPanel() const { return checks_; }
    DataPanel* dataPanel() const { return data_; }
    PropertyPanel* propertyPanel() const { return properties_; }
    CostPanel* costPanel() const { return cost_; }
    // The label as last proofed (picture, layout, findings, scans).
    const LabelProof& proof() const { return proof_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QAction* addAction(QMenu* menu, const QString& name, const QString& text, const QString& tip,
                       const QKeySequence& keys, std::function<void()> run, bool onCanvas = false);
    void createActions();
    void createFileMenu();
    void createEditMenu();
    void createInsertMenu();
    void createArrangeMenu();
    void createViewMenu();
    void createDataMenu();
    void createHelpMenu();
    void createPanels();
    void createStatusBar();
    void connectCanvas();

    void attach(FormatFile file);
    bool maybeSave();
    bool saveTo(const std::optional<QString>& newPath);
    bool chooseSavePath();
    QString chooseImage();
    void offerRecovery();
    void afterEdit();
    void documentChanged();
    void redraw(const PlacementChanges* preview);
    void showChecks();
    void updateActions();
    void updateTitle();
    void select(std::vector<ObjectRef> selection);
    void selectElement(ElementRef element);
    void insert(int kind);
    void copySelection();
    void pasteClipboard();
    void testPrint();
    void cycleFocus();
    void showKeyHelp();
    void autosave();
    labelformat::FieldValues shownValues() const;
    std::optional<std::int16_t> programUsePrinter() const;
    LabelChecker* checkerFor(const labelformat::LabelFormat& format, bool preview);
    void rebuildResolutionMenu();
    QMessageBox::StandardButton tell(QMessageBox::Icon icon, const QString& text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    std::shared_ptr<render::Fonts> fonts_;
    std::optional<FormatFile> file_;
    int dotsPerInch_ = render::kDefaultDotsPerInch;
    std::uint64_t shownRevision_ = UINT64_MAX;
    std::optional<LabelChecker> checker_;
    std::uint64_t checkerRevision_ = UINT64_MAX;
    LabelProof proof_;
    bool scanned_ = false;
    std::vector<Finding> loadFindings_;

    CanvasView* canvas_;
    PropertyPanel* properties_;
    ChecksPanel* checks_;
    DataPanel* data_;
    CostPanel* cost_;
    std::vector<QDockWidget*> docks_;
    QLabel* cursorStatus_;
    QLabel* viewStatus_;
    QLabel* scanStatus_;
    QTimer* scanTimer_;
    QTimer* autosaveTimer_;
    QFileSystemWatcher* watcher_;
    std::optional<QByteArray> declinedDiskBytes_;
    bool askingAboutDisk_ = false;

    std::map<QString, QAction*> actions_;
    QMenu* resolutionMenu_ = nullptr;
    QActionGroup* resolutionGroup_ = nullptr;
    PrinterChoices printers_;
    Asker ask_;
};

}  // namespace designer::gui
