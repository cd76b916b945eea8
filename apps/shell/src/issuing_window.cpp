// SPDX-License-Identifier: MIT
#include "shell/issuing_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "frame/texts.h"
#include "shell/process_signals.h"

namespace shell {
namespace {

// Layout in twips (1/1440 inch), as the window was designed; 15 twips are one pixel at 96 dpi.
struct TwipRect {
    int left, top, width, height;
};
constexpr TwipRect kClientArea{0, 0, 4350, 1170};
constexpr TwipRect kStatusLine{180, 120, 4035, 375};
constexpr TwipRect kStopButton{1620, 660, 1155, 375};

int pixels(int twips, int dotsPerInch) { return (twips * dotsPerInch + 720) / 1440; }

QRect toPixels(const TwipRect& r, int dpi) {
    return {pixels(r.left, dpi), pixels(r.top, dpi), pixels(r.width, dpi), pixels(r.height, dpi)};
}

QString qt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Texts break lines with CR LF; a Qt label wants LF alone.
QString displayText(const std::string& text) {
    QString shown = qt(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QMessageBox::Icon qtIcon(frame::MessageIcon icon) {
    switch (icon) {
        case frame::MessageIcon::Exclamation: return QMessageBox::Warning;
        case frame::MessageIcon::Question: return QMessageBox::Question;
        case frame::MessageIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

IssuingWidget::IssuingWidget(const QString& windowName)
    : lblStatus_(new QLabel(qt(frame::texts::kStatusDesignText), this)),
      cmdStop_(new QPushButton(qt(frame::texts::kStopButton), this)) {
    setObjectName(windowName);
    setWindowTitle(qt(frame::texts::kWindowCaption));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    lblStatus_->setObjectName("lblStatus");
    lblStatus_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdStop_->setObjectName("cmdStop");
    const int dpi = logicalDpiX();
    setFixedSize(toPixels(kClientArea, dpi).size());
    lblStatus_->setGeometry(toPixels(kStatusLine, dpi));
    cmdStop_->setGeometry(toPixels(kStopButton, dpi));
    QObject::connect(cmdStop_, &QPushButton::clicked, this, [this] {
        if (onStopClicked) onStopClicked();
    });
}

void IssuingWidget::activateLater() {
    // Queued, so the window is on screen before the job starts; the job runs only once.
    QTimer::singleShot(0, this, [this] {
        if (onActivate) onActivate();
    });
}

void IssuingWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    activateLater();
}

void IssuingWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) activateLater();
}

// The window's close button asks like the Stop button; the job itself closes the window.
void IssuingWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (onStopClicked) onStopClicked();
}

QtWindow::QtWindow(const QString& windowName)
    : widget_(windowName), signalNotifier_(signalWakeDescriptor(), QSocketNotifier::Read) {
    QObject::connect(&signalNotifier_, &QSocketNotifier::activated, &widget_, [this] { answerOpenBoxByDefault(); });
}

// A request to end closes the box that waits for an answer at once, whichever event loop
// is running; everything else waits for the job's next yield.
void QtWindow::answerOpenBoxByDefault() {
    drainSignalWake();
    if (stopWithoutConfirmationRequested() && openBox_ != nullptr && openBox_->defaultButton() != nullptr) {
        openBox_->defaultButton()->click();
    }
}

void QtWindow::takeSignals() { shell::takeSignals(interruptsSeen_, onStopWithoutConfirmation, widget_.onStopClicked); }

void QtWindow::runModal() {
    if (unloaded_) return;
    widget_.show();
    modalLoop_.exec();
}

void QtWindow::setStatusText(const std::string& text) {
    widget_.lblStatus()->setText(displayText(text));
}

void QtWindow::yieldToEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    takeSignals();
}

frame::MessageAnswer QtWindow::showMessage(const frame::MessageBox& box) {
    const bool yesNo = box.buttons == frame::MessageButtons::YesNo;
    if (stopWithoutConfirmationRequested()) return yesNo ? frame::MessageAnswer::Yes : frame::MessageAnswer::Ok;
    QWidget* parent = widget_.isVisible() ? &widget_ : nullptr;
    QMessageBox message(qtIcon(box.icon), qt(box.title), displayText(box.text), QMessageBox::NoButton, parent);
    message.setTextFormat(Qt::PlainText);
    message.setWindowModality(Qt::ApplicationModal);
    QPushButton* defaultButton = yesNo ? message.addButton(QStringLiteral("はい"), QMessageBox::YesRole)
                                       : message.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    if (yesNo) message.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    message.setDefaultButton(defaultButton);
    openBox_ = &message;
    message.exec();
    openBox_ = nullptr;
    if (!yesNo) return frame::MessageAnswer::Ok;
    return message.clickedButton() == defaultButton ? frame::MessageAnswer::Yes : frame::MessageAnswer::No;
}

void QtWindow::hide() { widget_.hide(); }

void QtWindow::unload() {
    unloaded_ = true;
    widget_.hide();
    modalLoop_.exit(0);
}

}  // namespace shell
