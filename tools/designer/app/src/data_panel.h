// SPDX-License-Identifier: MIT
// The data panel: a data file opened with its data kind and read as the program reads it,
// a navigator over its records (the canvas shows record N as the program would issue it,
// or the program's message for a record it refuses), and the fit check over the whole file.
#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

#include "designer/fit_check.h"
#include "designer/record_source.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace designer::gui {

class DataPanel : public QWidget {
    Q_OBJECT

public:
    explicit DataPanel(QWidget* parent = nullptr);

    // Opens the file with the kind chosen (or the one its name says); false with the
    // program's message when it cannot be read.
    bool openDataFile(const QString& file, const QString& kindName, QString* problem);
    void closeDataFile();

    const std::optional<RecordSource>& records() const { return records_; }
    // The record shown, or nothing when the sample values are shown.
    const DataRecord* currentRecord() const;
    void showRecord(std::int64_t number);
    void showSampleValues();

    void showFit(const FitReport& report);
    void clearFit();

    QComboBox* kindChoice() const { return kind_; }

signals:
    void openRequested();
    void recordChanged();
    void fitCheckRequested();
    void elementChosen(designer::ElementRef element);

private:
    void updateNavigator();
    void chooseFitRow(QTreeWidgetItem* item);

    QLabel* file_;
    QComboBox* kind_;
    QSpinBox* record_;
    QLabel* count_;
    QLabel* refusal_;
    QPushButton* sample_;
    QPushButton* fitButton_;
    QLabel* fitSummary_;
    QTreeWidget* fitList_;
    std::optional<RecordSource> records_;
    std::int64_t shown_ = 0;  // 0: the sample values
    FitReport fit_;
};

}  // namespace designer::gui
