// SPDX-License-Identifier: MIT
#include "core/output_folder.h"

namespace bcpctrl {

std::filesystem::path outputFolder(const EnvironmentLookup& environment) {
    if (const auto named = nonEmptyVariable(environment, kOutputDirVariable)) return *named;
    if (const auto ownFolder = nonEmptyVariable(environment, kSystemDirVariable)) return *ownFolder;
    return MOKUREN_SPOOL_DIR;
}

}  // namespace bcpctrl
