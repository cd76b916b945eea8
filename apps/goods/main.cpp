// SPDX-License-Identifier: MIT
// MOKUREN goods edition: receiving, shipping and receiving-lot labels.
#include "goods/goods_edition.h"
#include "shell/program.h"

int main(int argc, char** argv) { return shell::runProgram(goods::kGoodsEdition, "frmMokuren", argc, argv); }
