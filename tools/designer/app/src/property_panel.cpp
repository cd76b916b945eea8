// SPDX-License-Identifier: MIT
#include "property_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <cmath>

#include "render/layout.h"

namespace designer::gui {
namespace {

enum class Editor { Mm, Points, Integer, FieldNumber, Choice, FontFamily, Bool, Text, File };

using Choices = std::vector<std::pair<QString, Json>>;

const Choices kFieldTypes{{QStringLiteral("文字"), "text"}, {QStringLiteral("バーコード"), "barcode"}};
const Choices kSymbologies{{QStringLiteral("JAN (EAN13)"), "EAN13"},   {QStringLiteral("短縮 JAN (EAN8)"), "EAN8"},
                           {QStringLiteral("CODE128"), "CODE128"},     {QStringLiteral("GS1-128"), "GS1-128"},
                           {QStringLiteral("CODE39"), "CODE39"},       {QStringLiteral("NW7 (Codabar)"), "NW7"},
                           {QStringLiteral("ITF14"), "ITF14"},         {QStringLiteral("QR コード"), "QR"}};
const Choices kRotations{{QStringLiteral("0°"), 0}, {QStringLiteral("90° (右回り)"), 90}, {QStringLiteral("180°"), 180},
                         {QStringLiteral("270°"), 270}};
const Choices kAligns{{QStringLiteral("左"), "left"}, {QStringLiteral("中央"), "center"}, {QStringLiteral("右"), "right"}};

constexpr double kMostMm = 2000.0;
constexpr double kPointsPerInch = 72.0;
const char* const kDefaultFamily = "Noto Sans CJK JP";

double hundredths(double value) { return std::round(value * 100.0) / 100.0; }

QString qt(const std::string& text) { return QString::fromStdString(text); }

double numberIn(const Json& value, double fallback) { return value.is_number() ? value.get<double>() : fallback; }

}  // namespace

struct PropertyPanel::Row {
    QString label;
    std::string key;  // a key of the element, or a JSON pointer into it ("/font/sizePt")
    Editor editor = Editor::Text;
    Json fallback;    // what the loader takes when the key is missing
    QString tip;
    Choices choices{};
    std::string pairedKey{};  // a width's x (a height's y): its dots are between the rounded edges
    double lowestMm = 0.0;
};

PropertyPanel::PropertyPanel(QWidget* parent)
    : QWidget(parent), form_(new QFormLayout), heading_(new QLabel(this)), problem_(new QLabel(this)) {
    setObjectName(QStringLiteral("properties"));
    setAccessibleName(QStringLiteral("プロパティ"));
    auto* layout = new QVBoxLayout(this);
    heading_->setObjectName(QStringLiteral("propertiesHeading"));
    heading_->setWordWrap(true);
    problem_->setObjectName(QStringLiteral("propertiesProblem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #c00000"));
    problem_->hide();
    layout->addWidget(heading_);
    layout->addLayout(form_);
    layout->addWidget(problem_);
    layout->addStretch();
}

void PropertyPanel::setDocument(FormatDocument* document) {
    document_ = document;
    selection_.clear();
    rebuild();
}

void PropertyPanel::setSelection(const std::vector<ObjectRef>& selection) {
    if (document_ != nullptr) document_->closeMerge();  // typing into another object is another step
    selection_ = selection;
    problem_->hide();
    rebuild();
}

void PropertyPanel::setDotsPerInch(int dotsPerInch) {
    dotsPerInch_ = dotsPerInch;
    refresh();
}

const Json* PropertyPanel::elementJson() const {
    if (document_ == nullptr) return nullptr;
    const Json& json = document_->json();
    if (target_ == Target::Label) return &json;
    const char* array = target_ == Target::Field ? "fields" : "static";
    if (target_ == Target::None || !json.contains(array) || !json[array].is_array() || index_ >= json[array].size()) {
        return nullptr;
    }
    return &json[array][index_];
}

Json PropertyPanel::currentValue(const Row& row) const {
    const Json* element = elementJson();
    if (element == nullptr || !element->is_object()) return row.fallback;
    if (row.key.starts_with('/')) {
        const Json::json_pointer pointer(row.key);
        return element->contains(pointer) ? element->at(pointer) : row.fallback;
    }
    return element->contains(row.key) ? (*element)[row.key] : row.fallback;
}

bool PropertyPanel::write(const Row& row, Json value) {
    if (document_ == nullptr) return false;
    const std::string mergeKey = std::to_string(static_cast<int>(target_)) + "/" + std::to_string(index_) + "/" + row.key;
    bool written = false;
    switch (target_) {
        case Target::Label:
            written = row.key.starts_with("/label/") ? document_->setLabelKey(row.key.substr(7), std::move(value), mergeKey)
                                                     : document_->setDocumentKey(row.key, std::move(value), mergeKey);
            break;
        case Target::Field:
            written = document_->setFieldKey(index_, row.key, std::move(value), mergeKey);
            break;
        case Target::Static:
            written = document_->setStaticKey(index_, row.key, std::move(value), mergeKey);
            break;
        case Target::None:
            break;
    }
    if (written) emit edited();
    return written;
}

QString PropertyPanel::dotsText(const Row& row) const {
    const double value = numberIn(currentValue(row), row.fallback.is_number() ? row.fallback.get<double>() : 0.0);
    if (row.editor == Editor::Points) {
        return QStringLiteral("= %1 ドット").arg(value * dotsPerInch_ / kPointsPerInch, 0, 'f', 1);
    }
    int dots = render::mmToDots(value, dotsPerInch_);
    if (!row.pairedKey.empty()) {
        const double start = numberIn(currentValue(Row{{}, row.pairedKey, Editor::Mm, 0.0, {}}), 0.0);
        dots = render::rectInDots(start, 0.0, value, 0.0, dotsPerInch_).widthDots;
    }
    return QStringLiteral("= %1 ドット").arg(dots);
}

void PropertyPanel::showProblem(const QString& text) {
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

QWidget* PropertyPanel::editorFor(const Row& row) {
    QWidget* editor = nullptr;
    switch (row.editor) {
        case Editor::Mm:
        case Editor::Points: {
            auto* box = new QWidget(this);
            auto* line = new QHBoxLayout(box);
            line->setContentsMargins(0, 0, 0, 0);
            auto* spin = new QDoubleSpinBox(box);
            spin->setDecimals(2);
            spin->setRange(row.lowestMm, kMostMm);
            spin->setSingleStep(row.editor == Editor::Points ? 0.5 : 0.1);
            spin->setSuffix(row.editor == Editor::Points ? QStringLiteral(" pt") : QStringLiteral(" mm"));
            spin->setKeyboardTracking(false);
            spin->setAccessibleName(row.label);
            spin->setToolTip(row.tip);
            auto* dots = new QLabel(box);
            dots->setMinimumWidth(90);
            line->addWidget(spin, 1);
            line->addWidget(dots);
            connect(spin, &QDoubleSpinBox::valueChanged, this, [this, row](double value) { write(row, hundredths(value)); });
            refreshers_.push_back([this, row, spin, dots] {
                const QSignalBlocker block(spin);
                spin->setValue(numberIn(currentValue(row), 0.0));
                dots->setText(dotsText(row));
            });
            spin->setObjectName(QString::fromStdString("property:" + row.key));
            return box;
        }
        case Editor::Integer:
        case Editor::FieldNumber: {
            auto* spin = new QSpinBox(this);
            spin->setRange(row.editor == Editor::FieldNumber ? kLowestFieldNumber : -32768, 32767);
            spin->setKeyboardTracking(false);
            connect(spin, &QSpinBox::valueChanged, this, [this, row](int value) {
                if (write(row, value)) {
                    showProblem({});
                } else if (row.editor == Editor::FieldNumber) {
                    showProblem(QStringLiteral("番号 %1 はほかの項目が使っています。番号は重ねられません。").arg(value));
                    refresh();
                }
            });
            refreshers_.push_back([this, row, spin] {
                const QSignalBlocker block(spin);
                spin->setValue(static_cast<int>(numberIn(currentValue(row), 0.0)));
            });
            editor = spin;
            break;
        }
        case Editor::Choice: {
            auto* combo = new QComboBox(this);
            for (const auto& [text, value] : row.choices) combo->addItem(text);
            connect(combo, &QComboBox::activated, this, [this, row](int index) {
                if (index < 0 || static_cast<std::size_t>(index) >= row.choices.size()) return;
                const Json value = row.choices[static_cast<std::size_t>(index)].second;
                if (row.key == "type" && value == "barcode" && !currentValueOf("symbology").is_string()) {
                    // A barcode field needs its symbology: both keys make one step.
                    document_->beginStep("種類の変更");
                    write(row, value);
                    write(Row{{}, "symbology", Editor::Choice, {}, {}}, "CODE128");
                    document_->endStep();
                } else {
                    write(row, value);
                }
                rebuild();
            });
            refreshers_.push_back([this, row, combo] {
                const QSignalBlocker block(combo);
                const Json value = currentValue(row);
                const auto found = std::find_if(row.choices.begin(), row.choices.end(),
                                                [&](const auto& choice) { return choice.second == value; });
                combo->setCurrentIndex(found == row.choices.end() ? -1 : static_cast<int>(found - row.choices.begin()));
            });
            editor = combo;
            break;
        }
        case Editor::FontFamily: {
            auto* combo = new QComboBox(this);
            combo->setEditable(true);
            combo->addItems(QFontDatabase::families());
            combo->setInsertPolicy(QComboBox::NoInsert);
            connect(combo, &QComboBox::textActivated, this, [this, row](const QString& text) {
                if (!text.isEmpty()) write(row, text.toStdString());
            });
            refreshers_.push_back([this, row, combo] {
                const QSignalBlocker block(combo);
                const Json value = currentValue(row);
                combo->setCurrentText(value.is_string() ? qt(value.get<std::string>()) : QString());
            });
            editor = combo;
            break;
        }
        case Editor::Bool: {
            auto* check = new QCheckBox(this);
            connect(check, &QCheckBox::toggled, this, [this, row](bool on) { write(row, on); });
            refreshers_.push_back([this, row, check] {
                const QSignalBlocker block(check);
                const Json value = currentValue(row);
                check->setChecked(value.is_boolean() && value.get<bool>());
            });
            editor = check;
            break;
        }
        case Editor::Text:
        case Editor::File: {
            auto* box = new QWidget(this);
            auto* line = new QHBoxLayout(box);
            line->setContentsMargins(0, 0, 0, 0);
            auto* text = new QLineEdit(box);
            text->setAccessibleName(row.label);
            text->setToolTip(row.tip);
            text->setObjectName(QString::fromStdString("property:" + row.key));
            line->addWidget(text, 1);
            connect(text, &QLineEdit::textEdited, this, [this, row](const QString& value) { write(row, value.toStdString()); });
            refreshers_.push_back([this, row, text] {
                const Json value = currentValue(row);
                const QString shown = value.is_string() ? qt(value.get<std::string>()) : QString();
                if (text->text() != shown) text->setText(shown);
            });
            if (row.editor == Editor::File) {
                auto* browse = new QPushButton(QStringLiteral("参照..."), box);
                browse->setAccessibleName(QStringLiteral("画像ファイルを選ぶ"));
                browse->setToolTip(QStringLiteral("PNG ファイルを選びます。書式のフォルダーからの相対パスで書かれます"));
                line->addWidget(browse);
                connect(browse, &QPushButton::clicked, this, [this, row] {
                    const QString chosen = chooseImage_ ? chooseImage_() : QString();
                    if (chosen.isEmpty() || document_ == nullptr) return;
                    write(row, imagePathFor(document_->directory(), chosen.toStdString()));
                    refresh();
                });
            }
            return box;
        }
    }
    editor->setAccessibleName(row.label);
    editor->setToolTip(row.tip);
    editor->setObjectName(QString::fromStdString("property:" + row.key));
    return editor;
}

Json PropertyPanel::currentValueOf(const std::string& key) const { return currentValue(Row{{}, key, Editor::Text, nullptr, {}}); }

void PropertyPanel::addRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        QWidget* editor = editorFor(row);
        auto* label = new QLabel(row.label, this);
        label->setBuddy(editor);
        label->setToolTip(row.tip);
        form_->addRow(label, editor);
    }
}

void PropertyPanel::rebuild() {
    while (form_->rowCount() > 0) form_->removeRow(0);
    refreshers_.clear();
    target_ = Target::None;
    const Json* json = document_ != nullptr ? &document_->json() : nullptr;
    if (json == nullptr) {
        heading_->setText(QStringLiteral("書式がありません"));
        return;
    }
    if (selection_.size() > 1) {
        heading_->setText(QStringLiteral("%1 個を選択しています。配置メニューで揃えたり等間隔に並べたりできます。")
                              .arg(selection_.size()));
        return;
    }
    const auto mm = [](QString label, std::string key, QString tip, std::string paired = {}, double lowest = 0.0) {
        return Row{std::move(label), std::move(key), Editor::Mm, 0.0, std::move(tip), {}, std::move(paired), lowest};
    };
    if (selection_.empty()) {
        target_ = Target::Label;
        heading_->setText(QStringLiteral("ラベル (項目を選ぶとその項目のプロパティを表示します)"));
        addRows({mm(QStringLiteral("用紙の幅"), "/label/widthMm", QStringLiteral("ラベルの幅 (mm)"), {}, 1.0),
                 mm(QStringLiteral("用紙の高さ"), "/label/heightMm", QStringLiteral("ラベルの高さ (mm)"), {}, 1.0),
                 Row{QStringLiteral("プリンター機種"), "usePrinter", Editor::Integer, 0,
                     QStringLiteral("書式が作られたプリンター機種の番号。プログラムの UsePrinter と違うと LoadFormat はエラー 1301 で拒みます")}});
        refresh();
        return;
    }
    const ObjectRef object = selection_.front();
    index_ = object.index;
    target_ = isField(object) ? Target::Field : Target::Static;
    const Json* element = elementJson();
    if (element == nullptr || !element->is_object()) {
        heading_->setText(QStringLiteral("この要素は JSON のオブジェクトではないため編集できません"));
        target_ = Target::None;
        return;
    }
    const QString x = QStringLiteral("左端の位置 (ラベルの左端から mm)");
    const QString y = QStringLiteral("上端の位置 (ラベルの上端から mm)");
    const QString width = QStringLiteral("枠の幅 (mm)。回転しても枠はこのままで、中身が枠の中で回ります");
    const QString height = QStringLiteral("枠の高さ (mm)");
    if (target_ == Target::Field) {
        fieldType_ = element->value("type", std::string());
        const bool barcode = fieldType_ == "barcode";
        heading_->setText(barcode ? QStringLiteral("バーコード項目") : QStringLiteral("文字項目"));
        std::vector<Row> rows{
            Row{QStringLiteral("番号"), "number", Editor::FieldNumber, 0,
                QStringLiteral("プログラムが SetField で値を渡す項目番号 (1〜32767)。ほかの項目と同じ番号は使えません")},
            Row{QStringLiteral("種類"), "type", Editor::Choice, "text", QStringLiteral("文字かバーコードか"), kFieldTypes}};
        if (barcode) {
            rows.push_back(Row{QStringLiteral("シンボル"), "symbology", Editor::Choice, "CODE128",
                               QStringLiteral("バーコードの種類"), kSymbologies});
        }
        rows.push_back(mm(QStringLiteral("X"), "xMm", x));
        rows.push_back(mm(QStringLiteral("Y"), "yMm", y));
        rows.push_back(mm(QStringLiteral("幅"), "widthMm", width, "xMm", 0.01));
        rows.push_back(mm(QStringLiteral("高さ"), "heightMm", height, "yMm", 0.01));
        rows.push_back(Row{QStringLiteral("回転"), "rotation", Editor::Choice, 0,
                           QStringLiteral("枠の中で中身を右回りに回します (R キーは枠ごと回します)"), kRotations});
        rows.push_back(Row{QStringLiteral("揃え"), "align", Editor::Choice, "left",
                           QStringLiteral("枠の中での左右の位置"), kAligns});
        rows.push_back(Row{QStringLiteral("フォント"), "/font/family", Editor::FontFamily, kDefaultFamily,
                           barcode ? QStringLiteral("バーコードの下の文字のフォント") : QStringLiteral("文字のフォント")});
        rows.push_back(Row{QStringLiteral("文字の大きさ"), "/font/sizePt", Editor::Points, 10.0,
                           QStringLiteral("ポイント (1/72 インチ)。横にドットでの大きさを表示します"), {}, {}, 0.5});
        rows.push_back(Row{QStringLiteral("太字"), "/font/bold", Editor::Bool, false, QStringLiteral("太字で印字します")});
        if (barcode) {
            rows.push_back(Row{QStringLiteral("数字を表示"), "humanReadable", Editor::Bool, true,
                               QStringLiteral("バーの下に読める文字を印字します")});
        } else {
            rows.push_back(Row{QStringLiteral("折り返す"), "wrap", Editor::Bool, false,
                               QStringLiteral("枠の幅で次の行へ折り返します (しないときは 1 行で、入らなければ縮めて切ります)")});
        }
        rows.push_back(Row{QStringLiteral("既定の文字"), "default", Editor::Text, "",
                           QStringLiteral("プログラムが値を渡すまで印字される文字 (見出しなど)")});
        rows.push_back(Row{QStringLiteral("見本の値"), std::string(kSampleKey), Editor::Text, "",
                           QStringLiteral("データファイルを開いていないとき画面と検査に使う値。プログラムは読みません")});
        addRows(rows);
    } else {
        staticType_ = element->value("type", std::string());
        const QString lineWidthTip = QStringLiteral("線の太さ (mm)。枠の線は枠の内側に引かれます");
        if (staticType_ == "line") {
            heading_->setText(QStringLiteral("線"));
            addRows({mm(QStringLiteral("始点 X"), "xMm", x), mm(QStringLiteral("始点 Y"), "yMm", y),
                     mm(QStringLiteral("終点 X"), "x2Mm", QStringLiteral("終点の位置 (mm)")),
                     mm(QStringLiteral("終点 Y"), "y2Mm", QStringLiteral("終点の位置 (mm)")),
                     Row{QStringLiteral("線の太さ"), "lineWidthMm", Editor::Mm, 0.25, lineWidthTip, {}, {}, 0.01}});
        } else if (staticType_ == "box") {
            heading_->setText(QStringLiteral("枠"));
            addRows({mm(QStringLiteral("X"), "xMm", x), mm(QStringLiteral("Y"), "yMm", y),
                     mm(QStringLiteral("幅"), "widthMm", width, "xMm", 0.01),
                     mm(QStringLiteral("高さ"), "heightMm", height, "yMm", 0.01),
                     Row{QStringLiteral("線の太さ"), "lineWidthMm", Editor::Mm, 0.25, lineWidthTip, {}, {}, 0.01},
                     Row{QStringLiteral("塗りつぶす"), "fill", Editor::Bool, false, QStringLiteral("枠の中を黒く塗ります")}});
        } else {
            heading_->setText(QStringLiteral("画像"));
            addRows({mm(QStringLiteral("X"), "xMm", x), mm(QStringLiteral("Y"), "yMm", y),
                     mm(QStringLiteral("幅"), "widthMm", width, "xMm", 0.01),
                     mm(QStringLiteral("高さ"), "heightMm", height, "yMm", 0.01),
                     Row{QStringLiteral("ファイル"), "file", Editor::File, "",
                         QStringLiteral("PNG ファイル。書式のフォルダーからの相対パスで書きます")}});
        }
    }
    refresh();
}

void PropertyPanel::refresh() {
    // A field whose type changed (an undo) shows other keys.
    if (target_ == Target::Field) {
        const Json* element = elementJson();
        if (element == nullptr || element->value("type", std::string()) != fieldType_) {
            rebuild();
            return;
        }
    }
    for (const auto& refresher : refreshers_) refresher();
}

}  // namespace designer::gui
