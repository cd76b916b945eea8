// SPDX-License-Identifier: MIT
#include "shell/program.h"

#include <QApplication>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <span>

#include "bcpctrl/bcp_ctrl.h"
#include "frame/command_line.h"
#include "frame/texts.h"
#include "shell/console_window.h"
#include "shell/issuing_window.h"

namespace shell {
namespace {

constexpr std::string_view kControlUnavailable =
    "ラベルプリンタコントロールを作成できませんでした。発行を中止します。";

volatile std::sig_atomic_t interruptCount = 0;

extern "C" void countInterrupt(int) { interruptCount = interruptCount + 1; }

bool variableSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = countInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

std::unique_ptr<bcpctrl::BcpCtrl> createControl() {
    try {
        bcpctrl::BcpCtrlOptions options;
        options.prepareFontsEarly = true;  // while the window opens
        return std::make_unique<bcpctrl::BcpCtrl>(std::move(options));
    } catch (...) {
        return nullptr;
    }
}

void reportNoControl(frame::Window& window) {
    window.showMessage(frame::MessageBox{std::string(kControlUnavailable), std::string(frame::texts::kMessageTitle),
                                         frame::MessageIcon::Exclamation, frame::MessageButtons::Ok});
}

// The same job in either place: load the command line, then let `show` run the job (the
// window runs it on activation, the console at once).
template <typename Connect, typename Show>
int runJob(const frame::Edition& edition, frame::Window& window, bcpctrl::BcpCtrl* control,
           const std::string& commandLine, Connect connect, Show show) {
    if (control == nullptr) {
        reportNoControl(window);
        return kExitFailed;
    }
    frame::IssuingForm form(edition, window, *control);
    connect(form);
    if (form.Form_Load(commandLine)) show(form);
    return exitStatusFor(form.outcome());
}

int runConsole(const frame::Edition& edition, const std::string& commandLine) {
    installInterruptHandler();
    ConsoleWindow window(std::cerr, std::cin, interruptCount);
    const auto control = createControl();
    return runJob(
        edition, window, control.get(), commandLine,
        [&window](frame::IssuingForm& form) { window.onStopClicked = [&form] { form.cmdStop_Click(); }; },
        [](frame::IssuingForm& form) { form.Form_Activate(); });
}

int runWindowed(const frame::Edition& edition, std::string_view windowName, const std::string& commandLine,
                char* programName) {
    // The control first: it sets its fonts up while Qt starts and the window opens.
    const auto control = createControl();
    // Qt sees only the program name: job arguments are never taken for Qt options.
    int qtArgc = 1;
    char* qtArgv[] = {programName, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    QtWindow window(QString::fromUtf8(windowName.data(), static_cast<qsizetype>(windowName.size())));
    return runJob(
        edition, window, control.get(), commandLine,
        [&window](frame::IssuingForm& form) {
            window.widget().onStopClicked = [&form] { form.cmdStop_Click(); };
            window.widget().onActivate = [&form] { form.Form_Activate(); };
        },
        [&window](frame::IssuingForm&) { window.runModal(); });
}

}  // namespace

int exitStatusFor(frame::JobOutcome outcome) {
    switch (outcome) {
        case frame::JobOutcome::Finished: return kExitFinished;
        case frame::JobOutcome::Stopped: return kExitStopped;
        case frame::JobOutcome::Rejected: return kExitRejected;
        case frame::JobOutcome::Failed:
        case frame::JobOutcome::NotRun: return kExitFailed;
    }
    return kExitFailed;
}

bool displayAvailable() {
    return variableSet("DISPLAY") || variableSet("WAYLAND_DISPLAY") || variableSet("QT_QPA_PLATFORM");
}

int runProgram(const frame::Edition& edition, std::string_view windowName, int argc, char** argv) {
    const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    if (arguments.size() == 1 && std::strcmp(arguments[0], "--version") == 0) {
        std::cout << edition.versionText << std::endl;
        return kExitFinished;
    }
    const std::string commandLine = frame::joinArguments(arguments);
    if (displayAvailable()) return runWindowed(edition, windowName, commandLine, argv[0]);
    return runConsole(edition, commandLine);
}

}  // namespace shell
