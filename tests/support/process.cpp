// SPDX-License-Identifier: MIT
#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace testing_support {
namespace {

struct Pipe {
    int read = -1;
    int write = -1;
};

Pipe makePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    return {fds[0], fds[1]};
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

[[noreturn]] void execChild(const ProcessRequest& request, const Pipe& in, const Pipe& out, const Pipe& err) {
    ::dup2(in.read, 0);
    ::dup2(out.write, 1);
    ::dup2(err.write, 2);
    for (const int descriptor : request.closedDescriptors) ::close(descriptor);
    if (request.addressSpaceLimitBytes) {
        const rlimit limit{*request.addressSpaceLimitBytes, *request.addressSpaceLimitBytes};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    if (!request.workingDirectory.empty() && ::chdir(request.workingDirectory.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : request.environment) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    std::vector<char*> argv;
    for (const auto& argument : request.argv) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Splits what arrived into complete lines; the rest waits for more.
void takeLines(std::string& pending, std::vector<std::string>& lines, std::vector<std::string>& fresh) {
    for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        lines.push_back(pending.substr(0, end));
        fresh.push_back(lines.back());
        pending.erase(0, end + 1);
    }
}

}  // namespace

void RunningProcess::write(const std::string& text) {
    if (stdinFd_ >= 0) {
        [[maybe_unused]] const auto written = ::write(stdinFd_, text.data(), text.size());
    }
}

void RunningProcess::signal(int number) { ::kill(pid_, number); }

ProcessResult runProcess(const ProcessRequest& request) {
    Pipe in = makePipe();
    Pipe out = makePipe();
    Pipe err = makePipe();
    RunningProcess process;
    process.pid_ = ::fork();
    if (process.pid_ == 0) execChild(request, in, out, err);
    closeFd(in.read);
    closeFd(out.write);
    closeFd(err.write);
    process.stdinFd_ = in.write;
    ::signal(SIGPIPE, SIG_IGN);

    ProcessResult result;
    std::size_t nextInteraction = 0;
    if (request.interactions.empty()) closeFd(process.stdinFd_);
    std::string pendingErr;
    const auto deadline = std::chrono::steady_clock::now() + request.timeout;
    while (out.read >= 0 || err.read >= 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            ::kill(process.pid_, SIGKILL);
            break;
        }
        if (nextInteraction < request.interactions.size() && request.interactions[nextInteraction].ready &&
            request.interactions[nextInteraction].ready()) {
            request.interactions[nextInteraction++].action(process);
            if (nextInteraction == request.interactions.size()) closeFd(process.stdinFd_);
        }
        pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0) continue;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) continue;
            int& fd = i == 0 ? out.read : err.read;
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                closeFd(fd);
                continue;
            }
            if (i == 0) {
                result.standardOutput.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            pendingErr.append(buffer, static_cast<std::size_t>(got));
            std::vector<std::string> fresh;
            takeLines(pendingErr, result.errorLines, fresh);
            for (const auto& line : fresh) {
                if (nextInteraction < request.interactions.size() && !request.interactions[nextInteraction].ready &&
                    line.find(request.interactions[nextInteraction].waitFor) != std::string::npos) {
                    request.interactions[nextInteraction++].action(process);
                    if (nextInteraction == request.interactions.size()) closeFd(process.stdinFd_);
                }
            }
        }
    }
    if (!pendingErr.empty()) result.errorLines.push_back(pendingErr);
    closeFd(process.stdinFd_);
    closeFd(out.read);
    closeFd(err.read);
    int status = 0;
    ::waitpid(process.pid_, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace testing_support
