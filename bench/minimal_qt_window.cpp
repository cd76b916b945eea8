// SPDX-License-Identifier: MIT
// The yardstick for start-up time: a Qt Widgets program that shows one window and quits.
#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("MOKUREN"));
    window.resize(290, 78);
    window.show();
    QTimer::singleShot(0, &application, &QApplication::quit);
    return QApplication::exec();
}
