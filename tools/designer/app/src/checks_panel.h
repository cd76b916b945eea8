// SPDX-License-Identifier: MIT
// The checks panel, live: what LoadFormat would refuse, and what the label shown does to
// its texts and barcodes. Choosing a row selects its field on the canvas.
#pragma once

#include <QWidget>

#include <vector>

#include "designer/findings.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace designer::gui {

class ChecksPanel : public QWidget {
    Q_OBJECT

public:
    explicit ChecksPanel(QWidget* parent = nullptr);

    // `scanned` and `readBack` count the label's barcodes with data and those read back;
    // negative while the scan has not run yet.
    void showFindings(const std::vector<Finding>& findings, int scanned, int readBack);
    const std::vector<Finding>& findings() const { return findings_; }
    QTreeWidget* list() const { return list_; }

signals:
    void elementChosen(designer::ElementRef element);

private:
    void choose(QTreeWidgetItem* item);

    QLabel* summary_;
    QTreeWidget* list_;
    std::vector<Finding> findings_;
};

}  // namespace designer::gui
