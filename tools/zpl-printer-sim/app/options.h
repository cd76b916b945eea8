// SPDX-License-Identifier: MIT
// The emulator's command line.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "zplsim/fault_script.h"

namespace zplsim {

enum class Mode { Pty, Tcp, Decode };

struct Options {
    Mode mode = Mode::Pty;
    int tcpPort = 0;                      // --tcp PORT; 0 picks a free one
    std::filesystem::path decodeFile;     // --decode FILE
    std::optional<std::filesystem::path> outDirectory;  // --out DIR
    int baudRate = 0;                     // --baud: bytes reach the printer at this line speed; 0 at once
    bool xonXoff = false;                 // --flow xonxoff
    std::size_t bufferBytes = 1024;       // --buffer: bytes on the line before the printer holds the host
    std::chrono::milliseconds printTime{0};  // --print-ms: time to print one label
    long memoryKb = 8192;                 // --memory: the RAM ~HM reports, stored objects taken off
    std::vector<FaultRule> faults;        // --fault RULE (repeatable), --script FILE
};

// Nothing, with `error` set, for a command line that cannot be run.
std::optional<Options> parseOptions(int argc, char** argv, std::string& error);

inline constexpr const char* kUsage =
    "usage: zpl-printer-sim (--pty | --tcp PORT | --decode FILE) [--out DIR] [--baud N]\n"
    "                       [--flow none|xonxoff] [--buffer BYTES] [--print-ms MS] [--memory KB]\n"
    "                       [--fault RULE]... [--script FILE]\n"
    "RULE: NAME[:after=N][,for=MS][,ms=MS], NAME one of paper-out head-open ribbon-out pause\n"
    "      buffer-full no-answer stall slow (slow needs ms=)\n";

}  // namespace zplsim
