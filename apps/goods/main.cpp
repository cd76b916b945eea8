// SPDX-License-Identifier: MIT
// MOKUREN goods edition: receiving, shipping and receiving-lot labels. It starts from its
// window, frmMokuren; the other two programs start from a module, Module1.
#include "goods/goods_edition.h"
#include "shell/program.h"

int main(int argc, char** argv) { return shell::runProgram(goods::kGoodsEdition, "frmMokuren", argc, argv); }
