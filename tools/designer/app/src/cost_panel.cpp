// SPDX-License-Identifier: MIT
#include "cost_panel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace designer::gui {
namespace {

QString seconds(const std::optional<double>& value) {
    return value ? QStringLiteral("%1 秒").arg(*value, 0, 'f', 2) : QStringLiteral("ネットワーク (回線の速さによる)");
}

QString lineText(const ZplDestination& destination) {
    if (!destination.line) return QStringLiteral("%1 dpi、ネットワーク").arg(destination.encoder.dotsPerInch);
    return QStringLiteral("%1 dpi、%2 bps %3%4%5")
        .arg(destination.encoder.dotsPerInch)
        .arg(destination.line->baudRate)
        .arg(destination.line->dataBits)
        .arg(QChar(destination.line->parity))
        .arg(destination.line->stopBits);
}

}  // namespace

CostPanel::CostPanel(QWidget* parent)
    : QWidget(parent), printer_(new QComboBox(this)), note_(new QLabel(this)), table_(new QLabel(this)) {
    setObjectName(QStringLiteral("cost"));
    // The printer on the left, the figures on the right: the panel is wide and low.
    auto* columns = new QHBoxLayout(this);
    auto* layout = new QVBoxLayout;
    columns->addLayout(layout, 1);
    auto* row = new QHBoxLayout;
    printer_->setObjectName(QStringLiteral("costPrinter"));
    printer_->setAccessibleName(QStringLiteral("コストを見るプリンター"));
    printer_->setToolTip(QStringLiteral("プリンター一覧の ZPL プリンター"));
    auto* label = new QLabel(QStringLiteral("プリンター(&P):"), this);
    label->setBuddy(printer_);
    auto* recalculate = new QPushButton(QStringLiteral("計算"), this);
    recalculate->setAccessibleName(QStringLiteral("コストを計算"));
    recalculate->setToolTip(QStringLiteral("いまのラベルを制御の ZPL エンコーダーで符号化してバイト数を数えます"));
    row->addWidget(label);
    row->addWidget(printer_, 1);
    row->addWidget(recalculate);
    layout->addLayout(row);
    note_->setWordWrap(true);
    table_->setObjectName(QStringLiteral("costTable"));
    table_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    table_->setAccessibleName(QStringLiteral("ラベルのコスト"));
    table_->setText(QStringLiteral("「計算」(F8) で、いまのラベルを制御の ZPL エンコーダーで符号化し、1 枚目と 2 枚目からのバイト数と送る時間を出します。"));
    table_->setWordWrap(true);
    layout->addWidget(note_);
    layout->addStretch();
    columns->addWidget(table_, 1);
    connect(recalculate, &QPushButton::clicked, this, &CostPanel::recalculateRequested);
    connect(printer_, &QComboBox::activated, this, &CostPanel::recalculateRequested);
}

void CostPanel::setDestinations(std::vector<ZplDestination> destinations, const QString& listProblem) {
    destinations_ = std::move(destinations);
    QString note = listProblem;
    if (destinations_.empty()) {
        destinations_.push_back(ZplDestination{"ZPL 203 dpi", {}, SerialLine{}});
        note += (note.isEmpty() ? QString() : QStringLiteral(" ")) +
                QStringLiteral("プリンター一覧に ZPL プリンターがないため、203 dpi・9600 bps の ZPL プリンターで計算します。");
    }
    printer_->clear();
    for (const ZplDestination& destination : destinations_) {
        printer_->addItem(QStringLiteral("%1 (%2)").arg(QString::fromStdString(destination.name), lineText(destination)));
    }
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
}

const ZplDestination* CostPanel::destination() const {
    const int index = printer_->currentIndex();
    return index >= 0 && static_cast<std::size_t>(index) < destinations_.size() ? &destinations_[static_cast<std::size_t>(index)]
                                                                             : nullptr;
}

void CostPanel::showCost(const LabelCost& cost, int labels) {
    table_->setText(
        QStringLiteral("<table cellspacing=4>"
                       "<tr><th></th><th align=right>バイト</th><th align=right>時間</th></tr>"
                       "<tr><td>1 枚目</td><td align=right>%1</td><td align=right>%2</td></tr>"
                       "<tr><td>2 枚目から (平均)</td><td align=right>%3</td><td align=right>%4</td></tr>"
                       "<tr><td>2 枚目から (最大)</td><td align=right>%5</td><td align=right>%6</td></tr>"
                       "<tr><td>ジョブの終わり</td><td align=right>%7</td><td></td></tr>"
                       "</table><p>%8 枚のラベルで計りました。</p>")
            .arg(cost.firstBytes)
            .arg(seconds(cost.firstSeconds))
            .arg(cost.laterAverageBytes, 0, 'f', 0)
            .arg(seconds(cost.laterAverageSeconds))
            .arg(cost.laterMaxBytes)
            .arg(seconds(cost.laterMaxSeconds))
            .arg(cost.endOfJobBytes)
            .arg(labels));
}

void CostPanel::showProblem(const QString& text) { table_->setText(text); }

}  // namespace designer::gui
