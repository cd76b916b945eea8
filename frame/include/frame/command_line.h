// SPDX-License-Identifier: MIT
// The "/"-separated command line of a print job.
#pragma once

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

// The last kind, in table order, whose keyword occurs anywhere in the line; nullptr if none.
const DataKind* findDataKind(std::string_view line, std::span<const DataKind> kinds);

}  // namespace frame
