// SPDX-License-Identifier: MIT
// The designer's checks without a window, for a site's scripts:
//   bcpctrl-designer --check FORMAT.json [--data FILE --kind KIND] [--dpi N]
// prints one line per finding and exits 0 when no label would be refused or unreadable,
// 1 when one would, 2 on bad arguments. Without --data the format's sample values are
// checked. Lines:
//   format: error 1300 (...)                  the format as LoadFormat reads it
//   format field 12: error 1302 (...)
//   sample field 6: condensed 72%             the label of the sample values
//   record 12 field 6: condensed 64% (5 records)   the worst record of the file
//   record 7: refused (ERR: 932 ...)          a record the program cannot read
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace designer {

inline constexpr int kCheckPassed = 0;
inline constexpr int kCheckFailed = 1;  // some label would be refused or unreadable
inline constexpr int kCheckUsage = 2;

// Whether the program's arguments (without its name) ask for the check command.
bool wantsCheckCommand(std::span<const std::string_view> arguments);

// Runs the check for the program's arguments (without its name); findings go to `out`,
// usage and failures to read the files to `err`. Returns the exit status.
int runCheckCommand(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err);

}  // namespace designer
