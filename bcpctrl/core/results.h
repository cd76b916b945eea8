// SPDX-License-Identifier: MIT
// The control answers with the error numbers the label format's library defines, so that a
// format refused by the renderer or a tool is refused with the number LoadFormat gives.
#pragma once

#include "labelformat/result_codes.h"
#include "labelformat/outcome.h"

namespace bcpctrl {

using labelformat::ErrorNumber;
using labelformat::Outcome;
using labelformat::kSuccess;
using labelformat::resultCodeOf;

}  // namespace bcpctrl
