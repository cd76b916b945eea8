// SPDX-License-Identifier: MIT
#include "shell/program.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <iostream>
#include <memory>
#include <span>
#include <variant>

#include "frame/command_line.h"
#include "frame/texts.h"
#include "shell/console_window.h"
#include "shell/control_loading.h"
#include "shell/display_choice.h"
#include "shell/issuing_window.h"
#include "shell/process_signals.h"

namespace shell {
namespace {

constexpr std::string_view kControlUnavailable =
    "ラベルプリンタコントロールを作成できませんでした。発行を中止します。";

// The same table the control reads, so a data file and a format on one drive agree.
hostpaths::DriveTable callersDriveTable() {
    const char* value = std::getenv(hostpaths::kDrivesVariable);
    return hostpaths::DriveTable::fromVariable(value ? std::optional<std::string>(value) : std::nullopt);
}

// A caller that starts the program with standard input, output or error closed would
// otherwise hand those numbers to the first files opened (the call log, a printer's
// output), and status lines would land inside them.
void openStandardDescriptors() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = ::open("/dev/null", O_RDWR);  // the lowest free number: this one
        if (opened > descriptor) {
            ::dup2(opened, descriptor);
            ::close(opened);
        }
    }
}

// The format and printer a command line names, so that the control can have the fonts of
// the first label ready when the window has opened; nothing when the line is unusable.
std::optional<JobToPrepare> jobToPrepare(const frame::Edition& edition, const std::string& commandLine) {
    const frame::CommandLineParse parsed = frame::parseCommandLine(commandLine, edition.commandLine);
    const auto* args = std::get_if<frame::CommandLineArgs>(&parsed);
    if (args == nullptr) return std::nullopt;
    auto portSetting = frame::portSettingFor(*args, edition);
    if (!portSetting) return std::nullopt;
    return JobToPrepare{args->format, std::move(*portSetting)};
}

void reportNoControl(frame::Window& window) {
    window.showMessage(frame::MessageBox{std::string(kControlUnavailable), std::string(frame::texts::kMessageTitle),
                                         frame::MessageIcon::Exclamation, frame::MessageButtons::Ok});
}

// The same job in either place: load the command line, then let `show` run the job (the
// window runs it on activation, the console at once).
template <typename Connect, typename Show>
int runJob(const frame::Edition& edition, frame::Window& window, frame::BcpControl* control,
           const std::string& commandLine, Connect connect, Show show) {
    if (control == nullptr) {
        reportNoControl(window);
        return kExitFailed;
    }
    frame::IssuingForm form(edition, window, *control, callersDriveTable());
    connect(form);
    if (form.Form_Load(commandLine)) show(form);
    return exitStatusFor(form.outcome());
}

int runConsole(const frame::Edition& edition, const std::string& commandLine) {
    ConsoleWindow window(std::cerr, STDIN_FILENO);
    const auto control = ControlLoading(jobToPrepare(edition, commandLine)).take();
    return runJob(
        edition, window, control.get(), commandLine,
        [&window](frame::IssuingForm& form) {
            window.onStopClicked = [&form] { form.cmdStop_Click(); };
            window.onStopWithoutConfirmation = [&form] { form.requestStop(); };
        },
        [](frame::IssuingForm& form) { form.Form_Activate(); });
}

int runWindowed(const frame::Edition& edition, std::string_view windowName, const std::string& commandLine,
                char* programName) {
    // The control first: it loads and sets its fonts up while Qt starts.
    ControlLoading loading(jobToPrepare(edition, commandLine));
    // Qt sees only the program name: job arguments are never taken for Qt options.
    int qtArgc = 1;
    char* qtArgv[] = {programName, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Before any widget asks Qt for a font, so that Qt finds the font configuration read.
    const auto control = loading.take();
    // Qt's own texts in Japanese, from the installed Qt's translations (package
    // qt6-translations-l10n); the window's captions and buttons are its own and need none.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    QtWindow window(QString::fromUtf8(windowName.data(), static_cast<qsizetype>(windowName.size())));
    return runJob(
        edition, window, control.get(), commandLine,
        [&window](frame::IssuingForm& form) {
            window.widget().onStopClicked = [&form] { form.cmdStop_Click(); };
            window.onStopWithoutConfirmation = [&form] { form.requestStop(); };
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

int runProgram(const frame::Edition& edition, std::string_view windowName, int argc, char** argv) {
    openStandardDescriptors();
    installSignalHandlers();
    const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    if (arguments.size() == 1 && std::strcmp(arguments[0], "--version") == 0) {
        std::cout << edition.versionText << std::endl;
        return kExitFinished;
    }
    const std::string commandLine = frame::joinArguments(arguments);
    const DisplayChoice display = chooseDisplay();
    if (!display.note.empty()) std::cerr << display.note << std::endl;
    if (display.window) return runWindowed(edition, windowName, commandLine, argv[0]);
    return runConsole(edition, commandLine);
}

}  // namespace shell
