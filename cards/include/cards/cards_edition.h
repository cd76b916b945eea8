// SPDX-License-Identifier: MIT
// MOKUREN card edition: shelf cards, price cards and price seals.
#pragma once

#include "frame/edition.h"

namespace cards {

extern const frame::Edition kCardsEdition;

}  // namespace cards
