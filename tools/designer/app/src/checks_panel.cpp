// SPDX-License-Identifier: MIT
#include "checks_panel.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "finding_texts.h"

namespace designer::gui {

ChecksPanel::ChecksPanel(QWidget* parent) : QWidget(parent), summary_(new QLabel(this)), list_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("checks"));
    auto* layout = new QVBoxLayout(this);
    summary_->setObjectName(QStringLiteral("checksSummary"));
    summary_->setWordWrap(true);
    list_->setObjectName(QStringLiteral("checksList"));
    list_->setAccessibleName(QStringLiteral("検査の結果"));
    list_->setToolTip(QStringLiteral("行を選ぶと (クリックか Enter) その項目を画面で選びます"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("場所"), QStringLiteral("内容")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layout->addWidget(summary_);
    layout->addWidget(list_, 1);
    connect(list_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { choose(item); });
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { choose(item); });
}

void ChecksPanel::showFindings(const std::vector<Finding>& findings, int scanned, int readBack) {
    findings_ = findings;
    list_->clear();
    int refusing = 0;
    for (std::size_t i = 0; i < findings_.size(); ++i) {
        const Finding& finding = findings_[i];
        const bool serious = finding.refusesOrUnreadable();
        refusing += serious ? 1 : 0;
        auto* item = new QTreeWidgetItem(list_, {placeText(finding), findingText(finding)});
        item->setIcon(0, style()->standardIcon(serious ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning));
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
        item->setToolTip(1, item->text(1));
    }
    QString text = findings_.empty() ? QStringLiteral("問題はありません。")
                   : refusing > 0
                       ? QStringLiteral("%1 件 (うち %2 件はラベルが印刷されないか読めません)").arg(findings_.size()).arg(refusing)
                       : QStringLiteral("%1 件 (印刷はされます)").arg(findings_.size());
    if (scanned > 0 && readBack >= 0) {
        text += QStringLiteral(" バーコード %1/%2 をスキャナーで読み取れました。").arg(readBack).arg(scanned);
    } else if (scanned > 0) {
        text += QStringLiteral(" バーコードを読み取り中…");
    }
    summary_->setText(text);
}

void ChecksPanel::choose(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    const auto index = static_cast<std::size_t>(item->data(0, Qt::UserRole).toULongLong());
    if (index >= findings_.size()) return;
    if (const auto element = findings_[index].element()) emit elementChosen(*element);
}

}  // namespace designer::gui
