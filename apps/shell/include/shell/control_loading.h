// SPDX-License-Identifier: MIT
// Opens the label-printer control's shared object on a worker thread from the program's
// start: its libraries load, and its fonts are set up, while Qt starts and the window
// opens on the main thread.
#pragma once

#include <future>
#include <memory>
#include <optional>
#include <string>

#include "frame/bcp_control.h"

namespace shell {

// The format and port setting of the job about to run, as LoadFormat and the PortSetting
// property will get them.
struct JobToPrepare {
    std::string formatName;
    std::string portSetting;
};

class ControlLoading {
public:
    explicit ControlLoading(std::optional<JobToPrepare> job);

    // Waits for the control, with the font configuration read; nullptr when the control
    // cannot be loaded or made, after a line on standard error that says why. Once only.
    std::unique_ptr<frame::BcpControl> take();

private:
    std::future<std::unique_ptr<frame::BcpControl>> loading_;
};

}  // namespace shell
