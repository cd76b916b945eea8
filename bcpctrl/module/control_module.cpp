// SPDX-License-Identifier: MIT
// The entry of the control's shared object (bcpctrl/control_module.h).
#include "bcpctrl/control_module.h"

#include <memory>
#include <type_traits>

#include "bcpctrl/bcp_ctrl.h"

extern "C" __attribute__((visibility("default"))) frame::BcpControl* mokuren_bcpctrl_create(
    const char* formatName, const char* portSetting) {
    static_assert(std::is_same_v<decltype(&mokuren_bcpctrl_create), bcpctrl::module::Create>);
    try {
        bcpctrl::BcpCtrlOptions options;
        options.prepareFontsEarly = true;  // while the window opens
        if (formatName != nullptr && portSetting != nullptr) {
            options.expectedJob = bcpctrl::ExpectedJob{formatName, portSetting};
        }
        return std::make_unique<bcpctrl::BcpCtrl>(std::move(options)).release();
    } catch (...) {
        return nullptr;
    }
}
