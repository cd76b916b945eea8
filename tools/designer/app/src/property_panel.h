// SPDX-License-Identifier: MIT
// The property panel: every key of the selected field or static element, or of the label
// when nothing is selected, read from the document's JSON and written back as an undoable
// step. Lengths are edited in millimetres with the dots they become at the canvas's
// resolution beside them.
#pragma once

#include <QWidget>

#include <functional>
#include <vector>

#include "designer/format_document.h"
#include "geometry.h"

class QFormLayout;
class QLabel;

namespace designer::gui {

class PropertyPanel : public QWidget {
    Q_OBJECT

public:
    explicit PropertyPanel(QWidget* parent = nullptr);

    // The document the panel edits; it must outlive the panel or be replaced first.
    void setDocument(FormatDocument* document);
    void setSelection(const std::vector<ObjectRef>& selection);
    void setDotsPerInch(int dotsPerInch);
    // Reads every value again (after an edit, undo, redo).
    void refresh();

    // Where an image chosen with the panel's button is looked for and written relative to.
    void setImageChooser(std::function<QString()> chooser) { chooseImage_ = std::move(chooser); }

signals:
    // After the panel has written to the document.
    void edited();

private:
    enum class Target { None, Label, Field, Static };
    struct Row;

    void rebuild();
    void addRows(const std::vector<Row>& rows);
    QWidget* editorFor(const Row& row);
    const Json* elementJson() const;
    Json currentValue(const Row& row) const;
    Json currentValueOf(const std::string& key) const;
    bool write(const Row& row, Json value);
    QString dotsText(const Row& row) const;
    void showProblem(const QString& text);

    FormatDocument* document_ = nullptr;
    std::vector<ObjectRef> selection_;
    Target target_ = Target::None;
    std::size_t index_ = 0;
    std::string staticType_;
    std::string fieldType_;
    int dotsPerInch_ = 203;
    QFormLayout* form_;
    QLabel* heading_;
    QLabel* problem_;
    std::vector<std::function<void()>> refreshers_;
    std::function<QString()> chooseImage_;
};

}  // namespace designer::gui
