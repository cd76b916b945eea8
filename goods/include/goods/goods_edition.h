// SPDX-License-Identifier: MIT
// MOKUREN goods edition: receiving, shipping and receiving-lot labels.
#pragma once

#include "frame/edition.h"

namespace goods {

extern const frame::Edition kGoodsEdition;

}  // namespace goods
