// SPDX-License-Identifier: MIT
// A zpl-printer-sim of the test's own, on a pty or a loopback port, stopped by its pid.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

class PrinterSimulator {
public:
    // Starts the emulator with `arguments` (--pty or --tcp 0, faults...) writing into
    // `outDirectory`, and waits for the line that names its pty or port.
    PrinterSimulator(const std::vector<std::string>& arguments, std::filesystem::path outDirectory);
    ~PrinterSimulator();
    PrinterSimulator(const PrinterSimulator&) = delete;
    PrinterSimulator& operator=(const PrinterSimulator&) = delete;

    bool started() const { return !address_.empty(); }
    const std::string& address() const { return address_; }  // the pty's path or the port
    void signal(int number) const;
    void kill();  // at once, as a printer that is switched off

    // Lines of printed.log: "label-0001 copy 1/1", " cut" after a cut.
    std::vector<std::string> printed() const;
    bool waitUntilPrinted(std::size_t labels, std::chrono::milliseconds timeout) const;
    // label-NNNN.json as written, empty when there is none.
    std::string labelRecord(int formatNumber) const;
    const std::filesystem::path& outDirectory() const { return out_; }

private:
    pid_t pid_ = -1;
    std::string address_;
    std::filesystem::path out_;
};

// A P4 portable bitmap's rows as '#' and '.' strings, for comparing pictures.
std::vector<std::string> bitmapRows(const std::filesystem::path& pbm);

}  // namespace testing_support
