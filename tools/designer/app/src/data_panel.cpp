// SPDX-License-Identifier: MIT
#include "data_panel.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <climits>

#include "finding_texts.h"

namespace designer::gui {
namespace {

QToolButton* stepButton(QWidget* parent, const QString& text, const QString& name, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setAccessibleName(name);
    button->setToolTip(tip);
    return button;
}

}  // namespace

DataPanel::DataPanel(QWidget* parent)
    : QWidget(parent),
      file_(new QLabel(QStringLiteral("データファイルを開いていません (見本の値を表示中)"), this)),
      kind_(new QComboBox(this)),
      record_(new QSpinBox(this)),
      count_(new QLabel(this)),
      refusal_(new QLabel(this)),
      sample_(new QPushButton(QStringLiteral("見本の値"), this)),
      fitButton_(new QPushButton(QStringLiteral("はみ出し検査"), this)),
      fitSummary_(new QLabel(this)),
      fitList_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("data"));
    // The record on the left, the fit check over the file on the right: the panel is wide and low.
    auto* columns = new QHBoxLayout(this);
    auto* layout = new QVBoxLayout;
    auto* fitColumn = new QVBoxLayout;
    columns->addLayout(layout, 2);
    columns->addLayout(fitColumn, 3);
    file_->setWordWrap(true);
    file_->setObjectName(QStringLiteral("dataFile"));
    layout->addWidget(file_);

    auto* fileRow = new QHBoxLayout;
    auto* open = new QPushButton(QStringLiteral("開く..."), this);
    open->setAccessibleName(QStringLiteral("データファイルを開く"));
    open->setToolTip(QStringLiteral("プログラムが読むデータファイルを、選んだ種類で開きます"));
    for (const DataKindChoice& choice : dataKindChoices()) {
        kind_->addItem(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(choice.name.data(), static_cast<qsizetype>(choice.name.size())),
                                                     QString::fromUtf8(choice.program.data(), static_cast<qsizetype>(choice.program.size()))),
                       QString::fromUtf8(choice.name.data(), static_cast<qsizetype>(choice.name.size())));
    }
    kind_->setObjectName(QStringLiteral("dataKind"));
    kind_->setAccessibleName(QStringLiteral("データの種類"));
    kind_->setToolTip(QStringLiteral("データファイルの種類: 読むプログラムと、レコードを項目へ渡す表が決まります"));
    auto* kindLabel = new QLabel(QStringLiteral("種類(&K):"), this);
    kindLabel->setBuddy(kind_);
    fileRow->addWidget(kindLabel);
    fileRow->addWidget(kind_, 1);
    fileRow->addWidget(open);
    layout->addLayout(fileRow);

    auto* navigator = new QHBoxLayout;
    auto* first = stepButton(this, QStringLiteral("|◀"), QStringLiteral("最初のレコード"), QStringLiteral("最初のレコード (Ctrl+Home)"));
    auto* previous = stepButton(this, QStringLiteral("◀"), QStringLiteral("前のレコード"), QStringLiteral("前のレコード (Page Up)"));
    auto* next = stepButton(this, QStringLiteral("▶"), QStringLiteral("次のレコード"), QStringLiteral("次のレコード (Page Down)"));
    auto* last = stepButton(this, QStringLiteral("▶|"), QStringLiteral("最後のレコード"), QStringLiteral("最後のレコード (Ctrl+End)"));
    record_->setObjectName(QStringLiteral("recordNumber"));
    record_->setAccessibleName(QStringLiteral("レコード番号"));
    record_->setToolTip(QStringLiteral("画面に出すレコードの番号 (プログラムが数えるとおり 1 から、0 は見本の値)"));
    record_->setKeyboardTracking(false);
    sample_->setAccessibleName(QStringLiteral("見本の値を表示"));
    sample_->setToolTip(QStringLiteral("レコードではなく、各項目の見本の値 (なければ既定の文字) を表示します"));
    auto* recordLabel = new QLabel(QStringLiteral("レコード(&R):"), this);
    recordLabel->setBuddy(record_);
    navigator->addWidget(recordLabel);
    navigator->addWidget(first);
    navigator->addWidget(previous);
    navigator->addWidget(record_, 1);
    navigator->addWidget(next);
    navigator->addWidget(last);
    navigator->addWidget(count_);
    navigator->addWidget(sample_);
    layout->addLayout(navigator);

    refusal_->setObjectName(QStringLiteral("recordRefusal"));
    refusal_->setWordWrap(true);
    refusal_->setStyleSheet(QStringLiteral("color: #c00000"));
    refusal_->hide();
    layout->addWidget(refusal_);
    layout->addStretch();

    fitButton_->setObjectName(QStringLiteral("fitCheck"));
    fitButton_->setAccessibleName(QStringLiteral("はみ出し検査"));
    fitButton_->setToolTip(QStringLiteral("ファイルの全レコードで、縮む・切れる・拒まれる・読めない項目を印刷前に調べます (F7)"));
    fitSummary_->setObjectName(QStringLiteral("fitSummary"));
    fitSummary_->setWordWrap(true);
    fitList_->setObjectName(QStringLiteral("fitList"));
    fitList_->setAccessibleName(QStringLiteral("はみ出し検査の結果"));
    fitList_->setToolTip(QStringLiteral("行を選ぶとその項目と、いちばん悪いレコードを表示します"));
    fitList_->setHeaderLabels({QStringLiteral("場所"), QStringLiteral("いちばん悪いレコード"), QStringLiteral("件数"), QStringLiteral("内容")});
    fitList_->setRootIsDecorated(false);
    fitList_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    fitList_->setMinimumHeight(100);
    auto* fitRow = new QHBoxLayout;
    fitRow->addWidget(fitButton_);
    fitRow->addWidget(fitSummary_, 1);
    fitColumn->addLayout(fitRow);
    fitColumn->addWidget(fitList_, 1);

    connect(open, &QPushButton::clicked, this, &DataPanel::openRequested);
    connect(kind_, &QComboBox::activated, this, [this] {
        // The open file read again as the kind now chosen.
        if (!records_) return;
        const QString file = QString::fromStdString(records_->file().string());
        QString problem;
        if (!openDataFile(file, kind_->currentData().toString(), &problem)) {
            closeDataFile();
            file_->setText(QStringLiteral("「%1」をこの種類では読めません: %2").arg(file, problem));
        }
    });
    connect(fitButton_, &QPushButton::clicked, this, &DataPanel::fitCheckRequested);
    connect(sample_, &QPushButton::clicked, this, &DataPanel::showSampleValues);
    connect(first, &QToolButton::clicked, this, [this] { showRecord(1); });
    connect(previous, &QToolButton::clicked, this, [this] { showRecord(std::max<std::int64_t>(shown_ - 1, 1)); });
    connect(next, &QToolButton::clicked, this, [this] { showRecord(shown_ + 1); });
    connect(last, &QToolButton::clicked, this, [this] { showRecord(records_ ? records_->size() : 0); });
    connect(record_, &QSpinBox::valueChanged, this, [this](int number) {
        if (number == 0) {
            showSampleValues();
        } else {
            showRecord(number);
        }
    });
    connect(fitList_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { chooseFitRow(item); });
    connect(fitList_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { chooseFitRow(item); });
    updateNavigator();
}

bool DataPanel::openDataFile(const QString& file, const QString& kindName, QString* problem) {
    QString name = kindName;
    if (name.isEmpty()) {
        // The kind its name says (NYUKA.DAT), else the one chosen in the panel.
        const QString base = QFileInfo(file).fileName().toUpper();
        name = findDataKindChoice(base.toStdString()) != nullptr ? base : kind_->currentData().toString();
        if (base == QStringLiteral("TSUBAKI.DAT")) name = QStringLiteral("TSUBAKI");
    }
    const DataKindChoice* kind = findDataKindChoice(name.toStdString());
    if (kind == nullptr) {
        if (problem != nullptr) *problem = QStringLiteral("データの種類 %1 はどのプログラムも読みません。").arg(name);
        return false;
    }
    auto opened = RecordSource::open(file.toStdString(), *kind);
    if (auto* why = std::get_if<std::string>(&opened)) {
        if (problem != nullptr) *problem = QString::fromStdString(*why);
        return false;
    }
    records_.emplace(std::move(std::get<RecordSource>(opened)));
    {
        const QSignalBlocker block(kind_);
        kind_->setCurrentIndex(kind_->findData(name));
    }
    file_->setText(QStringLiteral("%1 (%2 件%3)")
                       .arg(file)
                       .arg(records_->size())
                       .arg(records_->endedEarly() ? QStringLiteral("、途中で読めなくなりました") : QString()));
    file_->setToolTip(file);
    clearFit();
    shown_ = records_->size() > 0 ? 1 : 0;
    updateNavigator();
    emit recordChanged();
    return true;
}

void DataPanel::closeDataFile() {
    records_.reset();
    shown_ = 0;
    file_->setText(QStringLiteral("データファイルを開いていません (見本の値を表示中)"));
    clearFit();
    updateNavigator();
    emit recordChanged();
}

const DataRecord* DataPanel::currentRecord() const {
    if (!records_ || shown_ < 1 || shown_ > records_->size()) return nullptr;
    return &records_->record(shown_);
}

void DataPanel::showRecord(std::int64_t number) {
    if (!records_ || records_->size() == 0) return;
    const std::int64_t clamped = std::clamp<std::int64_t>(number, 1, records_->size());
    if (clamped == shown_) return;
    shown_ = clamped;
    updateNavigator();
    emit recordChanged();
}

void DataPanel::showSampleValues() {
    if (shown_ == 0) return;
    shown_ = 0;
    updateNavigator();
    emit recordChanged();
}

void DataPanel::updateNavigator() {
    const bool any = records_ && records_->size() > 0;
    {
        const QSignalBlocker block(record_);
        record_->setRange(0, any ? static_cast<int>(std::min<std::int64_t>(records_->size(), INT_MAX)) : 0);
        record_->setValue(static_cast<int>(shown_));
        record_->setSpecialValueText(QStringLiteral("見本"));
    }
    record_->setEnabled(any);
    fitButton_->setEnabled(any);
    count_->setText(any ? QStringLiteral("/ %1 件").arg(records_->size()) : QString());
    const DataRecord* record = currentRecord();
    refusal_->setVisible(record != nullptr && record->refused());
    if (record != nullptr && record->refused()) {
        refusal_->setText(QStringLiteral("レコード %1 はプログラムが拒みます: %2")
                              .arg(record->number)
                              .arg(QString::fromStdString(record->refusal)));
    }
}

void DataPanel::clearFit() {
    fit_ = FitReport{};
    fitList_->clear();
    fitSummary_->clear();
}

void DataPanel::showFit(const FitReport& report) {
    fit_ = report;
    fitList_->clear();
    for (std::size_t i = 0; i < fit_.fields.size(); ++i) {
        const FieldFit& fit = fit_.fields[i];
        auto* item = new QTreeWidgetItem(fitList_, {placeText(fit.worst), QString::number(fit.worstRecord),
                                                    QString::number(fit.records), findingText(fit.worst)});
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
    }
    for (const auto& [number, message] : fit_.refusedRecords) {
        auto* item = new QTreeWidgetItem(fitList_, {QStringLiteral("レコード"), QString::number(number), QStringLiteral("1"),
                                                    QStringLiteral("プログラムが読めません: %1").arg(QString::fromStdString(message))});
        item->setData(0, Qt::UserRole, QVariant());
        item->setData(1, Qt::UserRole, static_cast<qlonglong>(number));
    }
    QString summary = fit_.fields.empty() && fit_.refusedRecords.empty()
                          ? QStringLiteral("%1 件すべて、縮まず切れず、印刷されて読み取れます。").arg(fit_.recordsChecked)
                          : QStringLiteral("%1 件を調べました。").arg(fit_.recordsChecked);
    if (fit_.anyRefusedOrUnreadable()) summary += QStringLiteral(" 印刷されないか読めないラベルがあります。");
    if (fit_.stopped) summary += QStringLiteral(" (途中で止めました)");
    fitSummary_->setText(summary);
}

void DataPanel::chooseFitRow(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    const QVariant row = item->data(0, Qt::UserRole);
    if (!row.isValid()) {
        showRecord(item->data(1, Qt::UserRole).toLongLong());
        return;
    }
    const auto index = static_cast<std::size_t>(row.toULongLong());
    if (index >= fit_.fields.size()) return;
    showRecord(fit_.fields[index].worstRecord);
    if (const auto element = fit_.fields[index].worst.element()) emit elementChosen(*element);
}

}  // namespace designer::gui
