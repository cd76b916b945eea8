// SPDX-License-Identifier: MIT
// Runs a built program as its caller would, talks to it through standard input and
// signals while it runs, and collects its standard error and exit status.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class RunningProcess;

// When a line of standard error contains `waitFor`, or, for a program that writes no
// such line, as soon as `ready` answers true (asked every 100 ms), `action` runs.
struct Interaction {
    std::string waitFor;
    std::function<void(RunningProcess&)> action;
    std::function<bool()> ready = nullptr;
};

struct ProcessRequest {
    std::vector<std::string> argv;
    std::map<std::string, std::optional<std::string>> environment;  // nullopt unsets
    std::string workingDirectory;
    std::vector<Interaction> interactions;  // in order; stdin closes after the last one
    std::chrono::seconds timeout{60};
    std::vector<int> closedDescriptors;  // of 0, 1 and 2: the program starts without them
    std::optional<std::uint64_t> addressSpaceLimitBytes;
};

struct ProcessResult {
    int exitStatus = -1;  // -1 when killed by a signal or the timeout
    std::string standardOutput;
    std::vector<std::string> errorLines;
    bool timedOut = false;
};

class RunningProcess {
public:
    void write(const std::string& text);
    void signal(int number);

private:
    friend ProcessResult runProcess(const ProcessRequest& request);
    int pid_ = -1;
    int stdinFd_ = -1;
};

ProcessResult runProcess(const ProcessRequest& request);

}  // namespace testing_support
