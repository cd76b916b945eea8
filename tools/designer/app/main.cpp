// SPDX-License-Identifier: MIT
// bcpctrl-designer [FORMAT.json] [--data FILE [--kind KIND]] [--dpi N] [--screenshot OUT.png]
// bcpctrl-designer --check FORMAT.json [--data FILE --kind KIND]
// The label designer. With --check it runs the designer's checks without a window, for a
// site's scripts; otherwise it opens its window on the format (or on a new one).
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "canvas_view.h"
#include "designer/check_command.h"
#include "designer_window.h"
#include "render/label_renderer.h"

namespace {

constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: bcpctrl-designer [FORMAT.json] [--data FILE [--kind KIND]] [--dpi N] [--screenshot OUT.png]\n"
    "       bcpctrl-designer --check FORMAT.json [--data FILE --kind KIND] [--dpi N]\n";

struct WindowRequest {
    QString format;
    QString data;
    QString kind;
    std::optional<int> dotsPerInch;
    QString screenshot;
};

std::optional<int> dotsPerInchIn(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < render::kLowestDotsPerInch || value > render::kHighestDotsPerInch) return std::nullopt;
    return value;
}

// Qt has taken its own options (-platform...) out of the arguments by now.
std::optional<WindowRequest> parseWindowArguments(const QStringList& arguments, std::string& problem) {
    WindowRequest request;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if ((argument == QStringLiteral("--data") || argument == QStringLiteral("--kind") ||
             argument == QStringLiteral("--dpi") || argument == QStringLiteral("--screenshot")) &&
            !hasValue) {
            problem = argument.toStdString() + " needs a value";
            return std::nullopt;
        }
        if (argument == QStringLiteral("--data")) {
            request.data = arguments[++i];
        } else if (argument == QStringLiteral("--kind")) {
            request.kind = arguments[++i];
        } else if (argument == QStringLiteral("--dpi")) {
            request.dotsPerInch = dotsPerInchIn(arguments[++i]);
            if (!request.dotsPerInch) {
                problem = "--dpi takes a number from 100 to 1200";
                return std::nullopt;
            }
        } else if (argument == QStringLiteral("--screenshot")) {
            request.screenshot = arguments[++i];
        } else if (argument.startsWith(QLatin1Char('-')) || !request.format.isEmpty()) {
            problem = "unexpected argument " + argument.toStdString();
            return std::nullopt;
        } else {
            request.format = argument;
        }
    }
    if (!request.kind.isEmpty() && request.data.isEmpty()) {
        problem = "--kind needs --data";
        return std::nullopt;
    }
    return request;
}

// The window as the README shows it: drawn, checked and read back, its data file checked,
// its first barcode selected, then saved as a picture.
int saveScreenshot(designer::gui::DesignerWindow& window, const QString& file, bool withData) {
    window.resize(1400, 980);
    QApplication::processEvents();
    if (withData) window.runFitCheck();
    if (const auto& format = window.document().format(); format.ok()) {
        const auto& fields = format.value().fields;
        const auto barcode = std::find_if(fields.begin(), fields.end(),
                                          [](const auto& field) { return field.type == labelformat::FieldType::Barcode; });
        if (barcode != fields.end()) window.canvas()->setSelection({designer::gui::fieldAt(static_cast<std::size_t>(barcode - fields.begin()))});
    }
    window.scanNow();
    window.canvas()->zoomToFit();
    QApplication::processEvents();
    if (!window.grab().save(file, "PNG")) {
        std::cerr << "bcpctrl-designer: cannot write " << file.toStdString() << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (designer::wantsCheckCommand(arguments)) return designer::runCheckCommand(arguments, std::cout, std::cerr);
    if (!arguments.empty() && arguments.front() == "--help") {
        std::cout << kUsage;
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bcpctrl-designer"));
    std::string problem;
    const auto request = parseWindowArguments(QApplication::arguments(), problem);
    if (!request) {
        std::cerr << "bcpctrl-designer: " << problem << "\n" << kUsage;
        return kExitUsage;
    }

    designer::gui::DesignerWindow window(render::Fonts::startLoading());
    if (request->dotsPerInch) window.setDotsPerInch(*request->dotsPerInch);
    window.show();
    if (!request->format.isEmpty()) window.openFormat(request->format);
    if (!request->data.isEmpty()) window.openData(request->data, request->kind);
    if (!request->screenshot.isEmpty()) return saveScreenshot(window, request->screenshot, !request->data.isEmpty());
    return QApplication::exec();
}
