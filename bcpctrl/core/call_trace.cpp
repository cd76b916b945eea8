// SPDX-License-Identifier: MIT
#include "core/call_trace.h"

#include <utility>

#include "core/output_folder.h"

namespace bcpctrl {
namespace {

using Json = nlohmann::ordered_json;

Json callLine(std::string_view op, frame::DispId dispid, Json args) {
    return Json{{"op", op}, {"dispid", static_cast<int>(dispid)}, {"args", std::move(args)}};
}

}  // namespace

CallTrace CallTrace::fromEnvironment(const EnvironmentLookup& environment) {
    CallTrace trace;
    if (const auto file = nonEmptyVariable(environment, kTraceVariable)) {
        trace.file_ = io::AppendFile::open(outputFolder(environment) / *file);
    }
    return trace;
}

void CallTrace::propertySet(std::string_view op, frame::DispId dispid, Json value) {
    writeLine(callLine(op, dispid, Json::array({std::move(value)})));
}

void CallTrace::method(std::string_view op, frame::DispId dispid, Json args, frame::VbBool ret,
                       frame::ResultCode result, std::optional<std::string> status) {
    Json line = callLine(op, dispid, std::move(args));
    line["ret"] = frame::isTrue(ret);
    line["result"] = result;
    if (status) {
        line["status"] = std::move(*status);
    }
    writeLine(line);
}

void CallTrace::thrown(std::string_view op, frame::DispId dispid, Json args, std::string_view what) {
    Json line = callLine(op, dispid, std::move(args));
    line["thrown"] = what;
    writeLine(line);
}

void CallTrace::event(const StatusEvent& event) {
    if (!enabled()) {
        return;
    }
    writeLine(Json{{"op", "OnStatus"},
                   {"args", Json::array({event.printerStatus, event.result})},
                   {"result", event.result},
                   {"status", event.printerStatus}});
}

void CallTrace::writeLine(const Json& line) {
    if (file_) {
        // A trace that cannot be written must not change what the calling program sees.
        static_cast<void>(file_->appendLine(line.dump(-1, ' ', false, Json::error_handler_t::replace)));
    }
}

}  // namespace bcpctrl
