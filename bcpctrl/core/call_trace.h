// SPDX-License-Identifier: MIT
// The call log BCPCTRL_TRACE asks for: one JSON object a line for every operation the
// control receives and every event it raises, so a run can be compared call by call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/environment.h"
#include "core/io/append_file.h"
#include "core/printer.h"
#include "frame/bcp_control.h"

namespace bcpctrl {

class CallTrace {
public:
    CallTrace() = default;  // records nothing
    // A trace to the file BCPCTRL_TRACE names; none when it is unset or cannot be opened.
    static CallTrace fromEnvironment(const EnvironmentLookup& environment);

    // Callers test this before they build a line's arguments, so a log that is off
    // costs nothing.
    bool enabled() const { return file_.has_value(); }

    void propertySet(std::string_view op, frame::DispId dispid, nlohmann::ordered_json value);
    // `args` holds the inputs in call order; `status` is Issue's status text.
    void method(std::string_view op, frame::DispId dispid, nlohmann::ordered_json args, frame::VbBool ret,
                frame::ResultCode result, std::optional<std::string> status = std::nullopt);
    // A method that ended in an exception (the system out of memory) instead of answering.
    void thrown(std::string_view op, frame::DispId dispid, nlohmann::ordered_json args, std::string_view what);
    void event(const StatusEvent& event);

private:
    void writeLine(const nlohmann::ordered_json& line);

    std::optional<io::AppendFile> file_;
};

}  // namespace bcpctrl
