// SPDX-License-Identifier: MIT
#include "printers/zpl/printer_link.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "core/io/access_refusal.h"
#include "render/free_with.h"

namespace bcpctrl::printers::zpl {
namespace {

using Clock = std::chrono::steady_clock;

speed_t speedFor(int baudRate) {
    switch (baudRate) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return B9600;
    }
}

void applyCharacterFrame(termios& settings, const SerialPort& setting) {
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    settings.c_cflag |= (setting.dataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
    if (setting.parity != 'N') {
        settings.c_cflag |= PARENB;
    }
    if (setting.parity == 'O') {
        settings.c_cflag |= PARODD;
    }
    if (setting.stopBits == 2) {
        settings.c_cflag |= CSTOPB;
    }
}

void applyFlowControl(termios& settings, FlowControl flow) {
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (flow == FlowControl::XonXoff) {
        settings.c_iflag |= IXON | IXOFF;
    } else if (flow == FlowControl::RtsCts) {
        settings.c_cflag |= CRTSCTS;
    }
}

// glibc answers EINVAL when the terminal kept another parity or character size than asked
// (a pty keeps 8 bits without parity). The line is usable when the rest was taken.
bool tookAllButFrame(int fd, const termios& wanted) {
    termios applied{};
    constexpr tcflag_t kInputFlags = IXON | IXOFF | IXANY | ICRNL | ISTRIP;
    constexpr tcflag_t kControlFlags = CSTOPB | CRTSCTS | CLOCAL;
    return errno == EINVAL && ::tcgetattr(fd, &applied) == 0 && ::cfgetospeed(&applied) == ::cfgetospeed(&wanted) &&
           (applied.c_iflag & kInputFlags) == (wanted.c_iflag & kInputFlags) &&
           (applied.c_cflag & kControlFlags) == (wanted.c_cflag & kControlFlags) &&
           (applied.c_lflag & (ICANON | ECHO)) == 0;
}

// Raw bytes both ways; reads return at once with what is there.
bool configureTerminal(int fd, const SerialPort& setting, FlowControl flow) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    ::cfmakeraw(&settings);
    applyCharacterFrame(settings, setting);
    applyFlowControl(settings, flow);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = speedFor(setting.baudRate);
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0 && !tookAllButFrame(fd, settings)) {
        return false;
    }
    ::tcflush(fd, TCIFLUSH);  // answers left over from an earlier job
    return true;
}

// Start bit, data bits, parity bit and stop bits of every character on the line.
std::chrono::nanoseconds characterTime(const SerialPort& setting) {
    const int bits = 1 + setting.dataBits + (setting.parity == 'N' ? 0 : 1) + setting.stopBits;
    return std::chrono::nanoseconds(1'000'000'000LL * bits / std::max(setting.baudRate, 1));
}

using AddressInfo = std::unique_ptr<addrinfo, render::FreeWith<::freeaddrinfo>>;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// One attempt at one address; the socket when connected before the deadline.
io::UniqueFd connectTo(const addrinfo& address, Clock::time_point deadline) {
    io::UniqueFd fd(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol));
    if (!fd) {
        return {};
    }
    if (::connect(fd.get(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            return {};
        }
        pollfd waiting{fd.get(), POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (::poll(&waiting, 1, millisecondsUntil(deadline)) != 1 ||
            ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            return {};
        }
    }
    const int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // a status query is a few bytes
    ::setsockopt(fd.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    return fd;
}

}  // namespace

std::optional<PrinterLink> PrinterLink::openSerial(const std::filesystem::path& device, const SerialPort& setting,
                                                   FlowControl flow) {
    io::UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        io::reportRefusedAccess("open", device, errno);
        return std::nullopt;
    }
    if (!::isatty(fd.get())) {
        return std::nullopt;
    }
    // flock keeps out every program that asks for it, root included; TIOCEXCL keeps out
    // every other opener that is not root.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd.get(), TIOCEXCL) != 0) {
        return std::nullopt;
    }
    if (!configureTerminal(fd.get(), setting, flow)) {
        return std::nullopt;
    }
    return PrinterLink(std::move(fd), false, characterTime(setting));
}

std::optional<PrinterLink> PrinterLink::connectTcp(const std::string& host, int port,
                                                   std::chrono::milliseconds timeout) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return std::nullopt;
    }
    const AddressInfo addresses(found);
    const auto deadline = Clock::now() + timeout;
    for (const addrinfo* address = addresses.get(); address != nullptr; address = address->ai_next) {
        if (io::UniqueFd fd = connectTo(*address, deadline)) {
            return PrinterLink(std::move(fd), true, std::chrono::nanoseconds(0));
        }
    }
    return std::nullopt;
}

void PrinterLink::close() {
    if (fd_ && !isSocket_) ::ioctl(fd_.get(), TIOCNXCL);
    fd_.reset();
}

long PrinterLink::writeSome(std::string_view bytes) {
    const long written = isSocket_ ? ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                   : ::write(fd_.get(), bytes.data(), bytes.size());
    if (written > 0) {
        lastWriteAt_ = Clock::now();
        bytesWritten_ += static_cast<std::uint64_t>(written);
        lineFreeAt_ = std::max(lineFreeAt_, lastWriteAt_) + perByte_ * written;
    }
    return written;
}

long PrinterLink::readSome(char* buffer, std::size_t size) {
    if (isSocket_) {
        return ::recv(fd_.get(), buffer, size, 0);
    }
    return ::read(fd_.get(), buffer, size);
}

bool PrinterLink::writeAll(std::string_view bytes, std::chrono::milliseconds stallTimeout, std::string& incoming) {
    auto deadline = Clock::now() + stallTimeout;
    while (!bytes.empty() && fd_) {
        const long written = writeSome(bytes);
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            deadline = Clock::now() + stallTimeout;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        pollfd waiting{fd_.get(), POLLOUT | POLLIN, 0};
        const int ready = ::poll(&waiting, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0 && (waiting.revents & POLLIN) != 0 && !readAvailable(incoming)) {
            return false;
        }
        if (ready == 0 && Clock::now() >= deadline) {
            return false;
        }
    }
    return bytes.empty();
}

WriteProgress PrinterLink::writeUntilHeld(std::string& pending, std::chrono::milliseconds holdLimit, std::string& incoming) {
    const auto started = Clock::now();
    while (!pending.empty() && fd_) {
        const long written = writeSome(pending);
        if (written > 0) {
            pending.erase(0, static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return WriteProgress::Failed;
        }
        const auto heldUntil = std::max({started, lastWriteAt_, lineFreeAt_}) + holdLimit;
        if (Clock::now() >= heldUntil) {
            return WriteProgress::Held;
        }
        pollfd waiting{fd_.get(), POLLOUT | POLLIN, 0};
        const int ready = ::poll(&waiting, 1, std::max(1, millisecondsUntil(heldUntil)));
        if (ready < 0 && errno != EINTR) {
            return WriteProgress::Failed;
        }
        if (ready > 0 && (waiting.revents & POLLIN) != 0 && !readAvailable(incoming)) {
            return WriteProgress::Failed;
        }
    }
    return fd_ ? WriteProgress::Done : WriteProgress::Failed;
}

bool PrinterLink::writeNow(std::string& pending) {
    while (!pending.empty() && fd_) {
        const long written = writeSome(pending);
        if (written > 0) {
            pending.erase(0, static_cast<std::size_t>(written));
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            return written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    return static_cast<bool>(fd_);
}

bool PrinterLink::readAvailable(std::string& incoming) {
    std::array<char, 4096> buffer{};
    while (fd_) {
        const long got = readSome(buffer.data(), buffer.size());
        if (got > 0) {
            incoming.append(buffer.data(), static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // A terminal answers 0 when nothing is there (VMIN 0); a socket only at its end.
        if (got == 0) {
            return !isSocket_;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return false;
}

void PrinterLink::awaitActivity(std::chrono::milliseconds most, bool toWrite) const {
    if (!fd_) return;
    pollfd waiting{fd_.get(), static_cast<short>(POLLIN | (toWrite ? POLLOUT : 0)), 0};
    ::poll(&waiting, 1, static_cast<int>(most.count()));
}

std::size_t PrinterLink::unsentBytes() const {
    int queued = 0;
    if (!fd_ || ::ioctl(fd_.get(), TIOCOUTQ, &queued) != 0 || queued < 0) {
        return 0;
    }
    return static_cast<std::size_t>(queued);
}

}  // namespace bcpctrl::printers::zpl
