// SPDX-License-Identifier: MIT
#include "shell/display_choice.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace shell {
namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

[[noreturn]] void probeInChild(const std::string& name, int answerFd) {
    xcb_connection_t* connection = xcb_connect(name.c_str(), nullptr);
    const char answer = connection != nullptr && xcb_connection_has_error(connection) == 0 ? '1' : '0';
    [[maybe_unused]] const ssize_t ignored = ::write(answerFd, &answer, 1);
    ::_exit(0);  // no destructors, no exit handlers of the parent's libraries
}

bool waitForAnswer(int answerFd, std::chrono::milliseconds wait) {
    pollfd ready{answerFd, POLLIN, 0};
    int polled = 0;
    do {
        polled = ::poll(&ready, 1, static_cast<int>(wait.count()));
    } while (polled < 0 && errno == EINTR);
    char answer = '0';
    return polled > 0 && ::read(answerFd, &answer, 1) == 1 && answer == '1';
}

std::string consoleNote(const std::string& why) { return "display: " + why + "; the job runs in console mode"; }

}  // namespace

bool xDisplayAnswers(const std::string& name, std::chrono::milliseconds wait) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        probeInChild(name, fds[1]);
    }
    ::close(fds[1]);
    const bool answered = child > 0 && waitForAnswer(fds[0], wait);
    ::close(fds[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return answered;
}

DisplayChoice chooseDisplay() {
    const std::string platform = variable("QT_QPA_PLATFORM");
    const bool namesXcb = std::string_view(platform).starts_with("xcb");
    if (!platform.empty() && !namesXcb) return {true, {}};
    const std::string display = variable("DISPLAY");
    if (!display.empty()) {
        if (xDisplayAnswers(display, kDisplayAnswerWait)) return {true, {}};
        return {false, consoleNote("DISPLAY=" + display + " does not answer")};
    }
    const std::string wayland = variable("WAYLAND_DISPLAY");
    if (namesXcb || !wayland.empty()) {
        return {false, consoleNote("no X display (DISPLAY is not set) for the window")};
    }
    return {false, {}};
}

}  // namespace shell
