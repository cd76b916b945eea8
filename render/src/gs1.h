// SPDX-License-Identifier: MIT
// GS1 element strings, "(01)14571123400150(10)LOT7" or "[01]...", checked against what
// the GS1 standard asks of each application identifier: its digits or
// characters, their number, its check digit, its dates.
#pragma once

#include <string>
#include <string_view>

namespace render::gs1 {

// The GS1 check digit of the digits before it (GTIN, SSCC, GLN, and EAN, JAN and ITF-14):
// weights 3 and 1 from the right, mod 10.
char checkDigit(std::string_view digits);

// Why the element strings break those rules, for people who write formats; empty when they
// keep them. Identifiers the table does not know are left to libzint's own checks.
std::string refusal(std::string_view elementStrings);

}  // namespace render::gs1
