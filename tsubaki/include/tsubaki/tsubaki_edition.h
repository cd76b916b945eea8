// SPDX-License-Identifier: MIT
// TSUBAKI: one kind of card from whatever data file it is given.
#pragma once

#include "frame/edition.h"

namespace tsubaki {

extern const frame::Edition kTsubakiEdition;

}  // namespace tsubaki
