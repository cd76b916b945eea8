// SPDX-License-Identifier: MIT
// The label's cost on a ZPL printer of the printer list: the bytes the control's encoder
// sends for the first label of a job and for the labels after it, and their seconds at
// the printer's baud rate.
#pragma once

#include <QWidget>

#include <vector>

#include "designer/label_cost.h"

class QComboBox;
class QLabel;

namespace designer::gui {

class CostPanel : public QWidget {
    Q_OBJECT

public:
    explicit CostPanel(QWidget* parent = nullptr);

    // The list's ZPL printers; when it has none, a 203 dpi printer at 9600 baud stands in.
    void setDestinations(std::vector<ZplDestination> destinations, const QString& listProblem);
    const ZplDestination* destination() const;
    void showCost(const LabelCost& cost, int labels);
    void showProblem(const QString& text);

signals:
    void recalculateRequested();

private:
    QComboBox* printer_;
    QLabel* note_;
    QLabel* table_;
    std::vector<ZplDestination> destinations_;
};

}  // namespace designer::gui
