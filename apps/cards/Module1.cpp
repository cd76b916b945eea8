// SPDX-License-Identifier: MIT
// Start-up module of MOKUREN card edition: shelf cards, price cards and price seals.
#include "cards/cards_edition.h"
#include "shell/program.h"

int main(int argc, char** argv) { return shell::runProgram(cards::kCardsEdition, "frmMokuren", argc, argv); }
