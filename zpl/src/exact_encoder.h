// SPDX-License-Identifier: MIT
// The label encoder that sends the renderer's picture dot for dot (see zpl/label_encoder.h).
#pragma once

#include <memory>

#include "zpl/label_encoder.h"

namespace zpl {

std::unique_ptr<LabelEncoder> makeExactEncoder(const EncoderSettings& settings);

}  // namespace zpl
