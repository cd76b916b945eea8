// SPDX-License-Identifier: MIT
// The "/"-separated command line of a print job.
#pragma once

#include <optional>
#include <variant>
#include <span>
#include <string>
#include <string_view>

#include "frame/edition.h"

namespace frame {

// The program's arguments joined with single spaces: a caller may pass the whole line
// as one argument or as many, and both give the same text.
std::string joinArguments(std::span<const char* const> arguments);

struct CommandLineArgs {
    std::string format;    // trimmed
    std::string dataFile;  // trimmed, as the caller wrote it
    std::string portKind;  // untrimmed
    std::string driver;    // trimmed; empty in the three-argument form
};

enum class CommandLineError {
    TooFewSlashes,
    NegativeLength,  // two of the located "/" side by side, or blanks pushing past the end
    TooLong,         // positions would not fit the 16-bit counters of the parse
};

using CommandLineParse = std::variant<CommandLineArgs, CommandLineError>;

// Positions and lengths count characters, not bytes.
CommandLineParse parseCommandLine(std::string_view line, CommandLineForm form);

inline constexpr std::string_view kDriverPortKind = "DRV";
inline constexpr std::string_view kSerialPortKind = "COM";
inline constexpr std::string_view kSerialPortSetting = "COM1:9600,E,8,1";

// The port setting the control gets for a job: the driver on the line (or the edition's
// own) for "DRV", the fixed serial setting for "COM", and none for any other port kind.
std::optional<std::string> portSettingFor(const CommandLineArgs& args, const Edition& edition);

// The last kind, in table order, whose keyword occurs anywhere in the line; nullptr if none.
const DataKind* findDataKind(std::string_view line, std::span<const DataKind> kinds);

}  // namespace frame
