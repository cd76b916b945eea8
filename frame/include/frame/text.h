// SPDX-License-Identifier: MIT
// Small text helpers shared by the frame: UTF-8 code points, blanks, decimal forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace frame {

// Decodes UTF-8 to code points. A byte that is not part of valid UTF-8 becomes
// U+DC80 + byte, and toUtf8 turns it back into that byte, so any file name survives.
std::u32string fromUtf8(std::string_view text);
std::string toUtf8(std::u32string_view text);

// The first `count` characters (code points) of a UTF-8 text, or all of it if shorter.
std::string_view leftChars(std::string_view text, std::size_t count);

// Removes leading and trailing space characters (U+0020 only; tabs stay).
std::u32string_view trimBlanks(std::u32string_view text);

// Decimal with a sign position: a blank before zero or a positive number, "-" before a negative one.
std::string withSignPosition(std::int64_t number);

// Upper-case hexadecimal without prefix or leading zeros; negative values as eight digits.
std::string hexOf(std::int32_t number);

}  // namespace frame
