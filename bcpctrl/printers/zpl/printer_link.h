// SPDX-License-Identifier: MIT
// A byte stream to a printer: a serial device set up with termios, or a TCP connection.
// Every operation has a bound on its waiting, so a printer that stops taking data or
// never answers cannot hang the program.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/io/unique_fd.h"
#include "core/port_setting.h"

namespace bcpctrl::printers::zpl {

enum class FlowControl { None, XonXoff, RtsCts };

enum class WriteProgress {
    Done,    // everything written
    Held,    // the printer takes nothing (it holds its flow control, or a network printer reads nothing)
    Failed,  // the link failed
};

class PrinterLink {
public:
    // The device must be a terminal that no other program holds (flock and TIOCEXCL); it
    // is put in raw mode with the setting's baud rate, parity, data and stop bits and the
    // flow control asked for. A terminal that ignores some of them (a pty ignores parity)
    // is used as it is. Nothing when the device is missing, busy or not a terminal.
    static std::optional<PrinterLink> openSerial(const std::filesystem::path& device, const SerialPort& setting,
                                                 FlowControl flow);
    // Nothing when the host is unknown, the connection is refused or not made in time.
    static std::optional<PrinterLink> connectTcp(const std::string& host, int port,
                                                 std::chrono::milliseconds timeout);

    // Writes all of `bytes`. Fails when the link fails, or when it takes no byte at all for
    // `stallTimeout` (a printer holding its flow control that long). Whatever the printer
    // sends meanwhile is appended to `incoming`.
    bool writeAll(std::string_view bytes, std::chrono::milliseconds stallTimeout, std::string& incoming);
    // Writes `pending`, removing what the link takes, until all of it is written or the link
    // has taken nothing for `holdLimit` beyond the time the line needed for what it was
    // given before (so a slow line is not taken for a printer that holds it). Whatever the
    // printer sends meanwhile is appended to `incoming`.
    WriteProgress writeUntilHeld(std::string& pending, std::chrono::milliseconds holdLimit, std::string& incoming);
    // Writes what the link takes at once and removes it from `pending`. False when the
    // link has failed.
    bool writeNow(std::string& pending);
    // Appends what has arrived, never waiting. False once the link has failed or the
    // other end has closed it.
    bool readAvailable(std::string& incoming);
    // Waits at most `most` for bytes to read, or for room to write when `toWrite`.
    void awaitActivity(std::chrono::milliseconds most, bool toWrite) const;
    // Bytes written but still in this machine's output queue (0 when it cannot tell); on
    // a network connection, those the printer has not acknowledged.
    std::size_t unsentBytes() const;
    // Every byte written so far, and when a serial line will have sent them at its baud
    // rate: a pty or an adapter may take bytes faster than the line carries them and
    // report nothing queued.
    std::uint64_t bytesWritten() const { return bytesWritten_; }
    std::chrono::steady_clock::time_point lineFreeAt() const { return lineFreeAt_; }
    // When the link last took a byte.
    std::chrono::steady_clock::time_point lastWriteAt() const { return lastWriteAt_; }

    // A serial port leaves exclusive use first: another program may keep the terminal
    // open (an emulator does), and exclusive use would outlast this link.
    void close();
    bool isOpen() const { return static_cast<bool>(fd_); }
    bool isNetwork() const { return isSocket_; }

    PrinterLink(PrinterLink&&) noexcept = default;
    PrinterLink& operator=(PrinterLink&&) noexcept = default;
    ~PrinterLink() { close(); }

private:
    PrinterLink(io::UniqueFd fd, bool isSocket, std::chrono::nanoseconds perByte)
        : fd_(std::move(fd)), isSocket_(isSocket), perByte_(perByte) {}
    long writeSome(std::string_view bytes);
    long readSome(char* buffer, std::size_t size);

    io::UniqueFd fd_;
    bool isSocket_ = false;
    std::chrono::nanoseconds perByte_{0};  // on the line; 0 for a network connection
    std::uint64_t bytesWritten_ = 0;
    std::chrono::steady_clock::time_point lineFreeAt_{};
    std::chrono::steady_clock::time_point lastWriteAt_{};
};

}  // namespace bcpctrl::printers::zpl
