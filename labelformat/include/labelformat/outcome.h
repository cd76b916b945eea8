// SPDX-License-Identifier: MIT
// A value or the error number that explains why there is none.
#pragma once

#include <optional>
#include <utility>

#include "labelformat/result_codes.h"

namespace labelformat {

template <typename T>
class Outcome {
public:
    // Implicit so that a function can simply return its value or its error number.
    Outcome(T value) : value_(std::move(value)) {}
    Outcome(ErrorNumber error) : error_(error) {}

    bool ok() const { return value_.has_value(); }
    std::optional<ErrorNumber> error() const { return error_; }  // empty when ok()
    // Throws std::bad_optional_access when !ok(): asking for a missing value is a bug.
    T& value() { return value_.value(); }
    const T& value() const { return value_.value(); }

private:
    std::optional<T> value_;
    std::optional<ErrorNumber> error_;
};

}  // namespace labelformat
