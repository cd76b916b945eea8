// SPDX-License-Identifier: MIT
// Start-up module of TSUBAKI: one kind of card from any data file.
#include "shell/program.h"
#include "tsubaki/tsubaki_edition.h"

int main(int argc, char** argv) { return shell::runProgram(tsubaki::kTsubakiEdition, "frmTsubaki", argc, argv); }
