// SPDX-License-Identifier: MIT
#include "core/environment.h"

#include <cstdlib>

namespace bcpctrl {

EnvironmentLookup processEnvironment() {
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
}

std::optional<std::string> nonEmptyVariable(const EnvironmentLookup& environment,
                                            const std::string& name) {
    if (!environment) {
        return std::nullopt;
    }
    auto value = environment(name);
    if (!value || value->empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace bcpctrl
