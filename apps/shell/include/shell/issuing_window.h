// SPDX-License-Identifier: MIT
// The main window: caption "MOKUREN", the status line lblStatus and the Stop button
// cmdStop, shown modally in an event loop of its own so that hiding it never ends the job.
#pragma once

#include <QEventLoop>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <functional>

#include "frame/window.h"

class QLabel;
class QMessageBox;
class QPushButton;

namespace shell {

class IssuingWidget : public QWidget {
public:
    explicit IssuingWidget(const QString& windowName);

    std::function<void()> onActivate;     // the first show or activation runs the job
    std::function<void()> onStopClicked;

    QLabel* lblStatus() const { return lblStatus_; }
    QPushButton* cmdStop() const { return cmdStop_; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void activateLater();

    QLabel* lblStatus_;
    QPushButton* cmdStop_;
};

class QtWindow : public frame::Window {
public:
    explicit QtWindow(const QString& windowName);

    IssuingWidget& widget() { return widget_; }
    // SIGTERM or SIGHUP: a Stop without confirmation, given at the next yield. SIGINT is a
    // press of the Stop button, also at the next yield.
    std::function<void()> onStopWithoutConfirmation;
    // Shows the window modally and returns when the job has unloaded it.
    void runModal();

    void setStatusText(const std::string& text) override;
    void yieldToEvents() override;
    frame::MessageAnswer showMessage(const frame::MessageBox& box) override;
    void hide() override;
    void unload() override;

private:
    void takeSignals();
    void answerOpenBoxByDefault();

    IssuingWidget widget_;
    QEventLoop modalLoop_;
    bool unloaded_ = false;
    QMessageBox* openBox_ = nullptr;
    QSocketNotifier signalNotifier_;
    std::sig_atomic_t interruptsSeen_ = 0;
};

}  // namespace shell
