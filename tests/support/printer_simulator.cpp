// SPDX-License-Identifier: MIT
#include "printer_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

namespace testing_support {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);

[[noreturn]] void execSimulator(const std::vector<std::string>& arguments, const std::filesystem::path& out,
                                int stdoutFd) {
    ::dup2(stdoutFd, 1);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    const int log = ::open((out / "simulator.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(log, 2);
    std::vector<std::string> all{ZPL_PRINTER_SIM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    all.insert(all.end(), {"--out", out.string()});
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// The first line the emulator writes: its pty's path or its port.
std::string firstLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0) continue;
        char c = 0;
        if (::read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return {};
}

}  // namespace

PrinterSimulator::PrinterSimulator(const std::vector<std::string>& arguments, std::filesystem::path outDirectory)
    : out_(std::move(outDirectory)) {
    std::filesystem::create_directories(out_);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) execSimulator(arguments, out_, fds[1]);
    ::close(fds[1]);
    address_ = firstLine(fds[0]);
    ::close(fds[0]);
}

PrinterSimulator::~PrinterSimulator() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

void PrinterSimulator::signal(int number) const {
    if (pid_ > 0) ::kill(pid_, number);
}

void PrinterSimulator::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::vector<std::string> PrinterSimulator::printed() const {
    std::vector<std::string> lines;
    std::ifstream log(out_ / "printed.log");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

bool PrinterSimulator::waitUntilPrinted(std::size_t labels, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (printed().size() < labels) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string PrinterSimulator::labelRecord(int formatNumber) const {
    char name[32];
    std::snprintf(name, sizeof name, "label-%04d.json", formatNumber);
    std::ifstream file(out_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> bitmapRows(const std::filesystem::path& pbm) {
    std::ifstream file(pbm, std::ios::binary);
    std::string magic;
    int width = 0;
    int height = 0;
    file >> magic >> width >> height;
    file.get();
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
    std::vector<std::string> rows;
    for (int y = 0; y < height && magic == "P4"; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x) / 8;
            const bool black = at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & (0x80u >> (x % 8))) != 0;
            row += black ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace testing_support
