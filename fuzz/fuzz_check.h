// SPDX-License-Identifier: MIT
// What every fuzz target shares: a failed expectation is a crash the fuzzer keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#define FUZZ_CHECK(condition)         \
    do {                              \
        if (!(condition)) {           \
            __builtin_trap();         \
        }                             \
    } while (false)

namespace fuzzing {

inline std::string textOf(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzzing
