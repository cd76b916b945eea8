// SPDX-License-Identifier: MIT
// zpl-printer-sim: a ZPL II label printer on a pty or a loopback TCP port, for tests and
// for integrators without hardware; and an offline decoder of ZPL files.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "label_files.h"
#include "options.h"
#include "zplsim/printer_model.h"

namespace zplsim {
namespace {

constexpr char kXon = '\x11';
constexpr char kXoff = '\x13';
constexpr int kBitsPerByte = 10;  // start, eight data bits, stop
constexpr auto kLineTick = std::chrono::milliseconds(10);
constexpr auto kIdleWait = std::chrono::milliseconds(500);
// While holding the host, XOFF goes again now and then: a host that opened the port after
// the first one, or flushed its input, would never see it otherwise.
constexpr auto kXoffRepeat = std::chrono::milliseconds(100);

int signalPipe[2] = {-1, -1};

extern "C" void forwardSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

void note(const std::string& text) { std::cerr << "zpl-printer-sim: " << text << std::endl; }

bool installSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGUSR1, SIGTERM, SIGINT, SIGHUP}) ::sigaction(number, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

PrinterEvents eventsWritingTo(const std::optional<LabelFiles>& files) {
    PrinterEvents events;
    events.note = note;
    if (!files) return events;
    events.received = [&files](const Label& label) { files->received(label); };
    events.printed = [&files](const Label& label, int copy) { files->printed(label, copy); };
    events.stored = [&files](const std::string& name, const Bitmap& bitmap) { files->stored(name, bitmap); };
    return events;
}

class Emulator {
public:
    Emulator(const Options& options, const std::optional<LabelFiles>& files)
        : options_(options), model_(options.printTime, options.faults, eventsWritingTo(files), Clock::now(), options.memoryKb) {}

    bool openPort();
    void run();

private:
    bool openPty();
    bool openTcp();
    void pollOnce();
    int waitMilliseconds() const;
    bool wantsBytes() const { return connection_ && !model_.stalled() && line_.size() < options_.bufferBytes; }
    void readConnection();
    void acceptConnection();
    void passLine();
    void holdOrReleaseHost();
    void sendToHost(std::string bytes);
    void takeSignals();
    void takeCommands();
    void command(const std::string& line);

    const Options& options_;
    PrinterModel model_;
    Fd connection_;  // the pty master, or the accepted TCP connection
    Fd listener_;
    Fd ptySlave_;    // kept open so that the master never reads a hang-up between jobs
    bool stdinOpen_ = true;
    std::string stdinLine_;
    std::string line_;  // bytes on their way down the serial line
    double lineCredit_ = 0.0;
    Clock::time_point lastLineTick_ = Clock::now();
    bool hostHeld_ = false;
    Clock::time_point lastXoff_{};
    bool running_ = true;
};

bool Emulator::openPort() { return options_.mode == Mode::Pty ? openPty() : openTcp(); }

bool Emulator::openPty() {
    Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    char name[256];
    if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
        ::ptsname_r(master.get(), name, sizeof name) != 0) {
        return false;
    }
    ptySlave_ = Fd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios raw{};
    if (!ptySlave_ || ::tcgetattr(ptySlave_.get(), &raw) != 0) return false;
    ::cfmakeraw(&raw);  // nothing is echoed back before the host sets the line up
    ::tcsetattr(ptySlave_.get(), TCSANOW, &raw);
    ::fcntl(master.get(), F_SETFL, O_NONBLOCK);
    connection_ = std::move(master);
    std::cout << name << std::endl;
    return true;
}

bool Emulator::openTcp() {
    Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(options_.tcpPort));
    socklen_t length = sizeof address;
    if (!listener || ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 8) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    listener_ = std::move(listener);
    std::cout << ntohs(address.sin_port) << std::endl;
    return true;
}

void Emulator::run() {
    while (running_) pollOnce();
}

void Emulator::pollOnce() {
    model_.advance(Clock::now());
    passLine();
    holdOrReleaseHost();
    pollfd fds[4] = {{signalPipe[0], POLLIN, 0}, {stdinOpen_ ? 0 : -1, POLLIN, 0},
                     {!connection_ && listener_ ? listener_.get() : -1, POLLIN, 0},
                     {wantsBytes() ? connection_.get() : -1, POLLIN, 0}};
    if (::poll(fds, 4, waitMilliseconds()) <= 0) return;
    if (fds[0].revents != 0) takeSignals();
    if (fds[1].revents != 0) takeCommands();
    if (fds[2].revents != 0) acceptConnection();
    if (fds[3].revents != 0) readConnection();
}

int Emulator::waitMilliseconds() const {
    const auto now = Clock::now();
    auto until = now + kIdleWait;
    if (const auto change = model_.nextChange()) until = std::min(until, *change);
    if (!line_.empty()) until = std::min(until, now + kLineTick);
    if (hostHeld_) until = std::min(until, lastXoff_ + kXoffRepeat);
    return static_cast<int>(std::max<long>(0, std::chrono::ceil<std::chrono::milliseconds>(until - now).count()));
}

void Emulator::readConnection() {
    char buffer[4096];
    const ssize_t got = ::read(connection_.get(), buffer, sizeof buffer);
    if (got > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            // The host's own XON/XOFF are flow control, not data.
            if (!options_.xonXoff || (buffer[i] != kXon && buffer[i] != kXoff)) line_ += buffer[i];
        }
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (listener_) {
        note("connection closed");
        connection_ = Fd();
        hostHeld_ = false;
    }
}

void Emulator::acceptConnection() {
    Fd accepted(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (accepted) {
        note("connection accepted");
        connection_ = std::move(accepted);
    }
}

// Bytes reach the printer at the line's speed: baud / 10 bytes a second.
void Emulator::passLine() {
    const auto now = Clock::now();
    std::size_t count = line_.size();
    if (options_.baudRate > 0) {
        const double perSecond = static_cast<double>(options_.baudRate) / kBitsPerByte;
        lineCredit_ = line_.empty() ? 0.0
                                    : std::min(lineCredit_ + std::chrono::duration<double>(now - lastLineTick_).count() * perSecond,
                                               perSecond / 10 + 1);
        count = std::min(count, static_cast<std::size_t>(lineCredit_));
        lineCredit_ -= static_cast<double>(count);
    }
    lastLineTick_ = now;
    if (count == 0) return;
    const std::string arrived = line_.substr(0, count);
    line_.erase(0, count);
    sendToHost(model_.receive(arrived, now));
}

// With XON/XOFF the printer stops the host while its line buffer is nearly full or it
// stalls, and lets it go on once the buffer has emptied to a quarter.
void Emulator::holdOrReleaseHost() {
    if (!options_.xonXoff || !connection_) return;
    const bool hold = model_.stalled() || line_.size() >= options_.bufferBytes * 3 / 4;
    const bool release = !model_.stalled() && line_.size() <= options_.bufferBytes / 4;
    const auto now = Clock::now();
    if (hold && (!hostHeld_ || now - lastXoff_ >= kXoffRepeat)) {
        hostHeld_ = true;
        lastXoff_ = now;
        sendToHost(std::string(1, kXoff));
    } else if (release && hostHeld_) {
        hostHeld_ = false;
        sendToHost(std::string(1, kXon));
    }
}

void Emulator::sendToHost(std::string bytes) {
    std::string_view rest = bytes;
    while (!rest.empty() && connection_) {
        const ssize_t written = ::write(connection_.get(), rest.data(), rest.size());
        if (written > 0) {
            rest.remove_prefix(static_cast<std::size_t>(written));
        } else if (written < 0 && errno == EAGAIN) {
            pollfd waiting{connection_.get(), POLLOUT, 0};
            if (::poll(&waiting, 1, 1000) <= 0) return;  // a host that reads nothing loses the answer
        } else if (written < 0 && errno != EINTR) {
            return;
        }
    }
}

void Emulator::takeSignals() {
    char number = 0;
    while (::read(signalPipe[0], &number, 1) == 1) {
        if (number == SIGUSR1) {
            model_.clearFaults();
        } else {
            running_ = false;
        }
    }
}

void Emulator::takeCommands() {
    char buffer[256];
    const ssize_t got = ::read(0, buffer, sizeof buffer);
    if (got <= 0) {
        stdinOpen_ = false;
        return;
    }
    stdinLine_.append(buffer, static_cast<std::size_t>(got));
    for (auto end = stdinLine_.find('\n'); end != std::string::npos; end = stdinLine_.find('\n')) {
        command(stdinLine_.substr(0, end));
        stdinLine_.erase(0, end + 1);
    }
}

// "clear", "quit", or a fault that appears now.
void Emulator::command(const std::string& line) {
    if (line == "clear") {
        model_.clearFaults();
    } else if (line == "quit") {
        running_ = false;
    } else if (const auto rule = parseFaultRule(line)) {
        model_.startFault(*rule, Clock::now());
    } else if (!line.empty()) {
        note("unknown command: " + line);
    }
}

int decodeFile(const Options& options, const std::optional<LabelFiles>& files) {
    std::ifstream stream(options.decodeFile, std::ios::binary);
    if (!stream) {
        note("cannot read " + options.decodeFile.string());
        return 1;
    }
    const std::string bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    // A label's record is written once the next printing label comes (or the file ends),
    // so that a ^CN1 after its format shows in it; the formats after it wait with it.
    std::vector<Label> held;
    int labels = 0;
    const auto writeHeld = [&] {
        for (const Label& label : held) {
            labels += label.prints() ? label.copies : 0;
            if (files) files->received(label);
        }
        held.clear();
    };
    int errors = 0;
    Decoder decoder(DecoderEvents{
        [&](Label label) {
            if (label.prints()) writeHeld();
            held.push_back(std::move(label));
        },
        nullptr, nullptr,
        [&](const std::string& name, const Bitmap& bitmap) {
            if (files) files->stored(name, bitmap);
        },
        [&](const std::string& error) {
            ++errors;
            note(error);
        },
        [&] {
            if (!held.empty() && held.front().prints()) held.front().cutNow = true;
        }});
    decoder.feed(bytes);
    decoder.finish();
    writeHeld();
    std::cout << labels << " labels" << std::endl;
    return errors == 0 ? 0 : 3;
}

}  // namespace
}  // namespace zplsim

int main(int argc, char** argv) {
    using namespace zplsim;
    std::string error;
    const auto options = parseOptions(argc, argv, error);
    if (!options) {
        std::cerr << "zpl-printer-sim: " << error << "\n" << kUsage;
        return 2;
    }
    std::optional<LabelFiles> files;
    if (options->outDirectory) files.emplace(*options->outDirectory);
    if (options->mode == Mode::Decode) return decodeFile(*options, files);
    if (!installSignals()) return 1;
    Emulator emulator(*options, files);
    if (!emulator.openPort()) {
        note("cannot open the port");
        return 1;
    }
    emulator.run();
    return 0;
}
