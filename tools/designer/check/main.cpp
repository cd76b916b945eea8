// SPDX-License-Identifier: MIT
// bcpctrl-designer-check --check FORMAT.json [--data FILE --kind KIND] [--dpi N]
// The designer's check command alone, for builds without the designer's window.
#include <iostream>
#include <string_view>
#include <vector>

#include "designer/check_command.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return designer::runCheckCommand(arguments, std::cout, std::cerr);
}
