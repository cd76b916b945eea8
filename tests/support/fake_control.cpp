// SPDX-License-Identifier: MIT
#include "fake_control.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace testing_support {
namespace {

const char* nameOf(frame::DispId dispId) {
    switch (dispId) {
        case frame::DispId::PortSetting: return "PortSetting";
        case frame::DispId::UsePrinter: return "UsePrinter";
        case frame::DispId::ClosePort: return "ClosePort";
        case frame::DispId::Issue: return "Issue";
        case frame::DispId::LoadFormat: return "LoadFormat";
        case frame::DispId::OpenPort: return "OpenPort";
        case frame::DispId::SetField: return "SetField";
    }
    return "?";
}

std::string describe(frame::DispId dispId, const std::vector<Argument>& args) {
    std::string text = nameOf(dispId);
    text += '(';
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) text += ',';
        if (const auto* number = std::get_if<std::int64_t>(&args[i])) {
            text += std::to_string(*number);
        } else {
            text += std::get<std::string>(args[i]);
        }
    }
    return text + ')';
}

}  // namespace

std::vector<Call> FakeControl::callsOf(frame::DispId dispId) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
        if (call.dispId == dispId) found.push_back(call);
    }
    return found;
}

void FakeControl::record(frame::DispId dispId, std::vector<Argument> args) {
    journal_.push_back(describe(dispId, args));
    calls.push_back({dispId, std::move(args)});
}

frame::VbBool FakeControl::answer(frame::DispId dispId, frame::ResultCode& result, std::string* status) {
    auto& queue = scripts_[dispId];
    Answer next = defaultAnswer;
    if (!queue.empty()) {
        next = queue.front();
        queue.pop_front();
    }
    if (next.throws && next.outOfMemory) throw std::bad_alloc();
    if (next.throws) throw std::runtime_error("control failure");
    result = next.result;
    if (status != nullptr) *status = next.status;
    return next.ret;
}

void FakeControl::setPortSetting(const std::string& portSetting) {
    record(frame::DispId::PortSetting, {portSetting});
    frame::ResultCode ignored = 0;
    answer(frame::DispId::PortSetting, ignored);
}

void FakeControl::setUsePrinter(std::int16_t usePrinter) {
    record(frame::DispId::UsePrinter, {std::int64_t{usePrinter}});
    frame::ResultCode ignored = 0;
    answer(frame::DispId::UsePrinter, ignored);
}

frame::VbBool FakeControl::LoadFormat(std::string& formatPath, frame::ResultCode& result) {
    record(frame::DispId::LoadFormat, {formatPath});
    return answer(frame::DispId::LoadFormat, result);
}

frame::VbBool FakeControl::OpenPort(std::int16_t& portCode, frame::ResultCode& result) {
    record(frame::DispId::OpenPort, {std::int64_t{portCode}});
    if (rewritePortCode) portCode = *rewritePortCode;
    return answer(frame::DispId::OpenPort, result);
}

frame::VbBool FakeControl::SetField(std::int16_t labelField, std::string& text, frame::ResultCode& result) {
    record(frame::DispId::SetField, {std::int64_t{labelField}, text});
    textsSinceIssue_.push_back(text);
    return answer(frame::DispId::SetField, result);
}

frame::VbBool FakeControl::Issue(std::int16_t first, std::int16_t second, std::string& status,
                                 frame::ResultCode& result) {
    record(frame::DispId::Issue, {std::int64_t{first}, std::int64_t{second}});
    ++issueCount;
    std::vector<std::string> texts = std::exchange(textsSinceIssue_, {});
    const frame::VbBool ret = answer(frame::DispId::Issue, result, &status);
    if (frame::isTrue(ret)) issuedLabels.push_back(std::move(texts));
    if (afterIssue) afterIssue(issueCount);
    return ret;
}

frame::VbBool FakeControl::ClosePort(frame::ResultCode& result) {
    record(frame::DispId::ClosePort, {});
    return answer(frame::DispId::ClosePort, result);
}

void FakeControl::deliverPendingEvents() {
    while (!pending_.empty()) {
        const PendingStatus event = pending_.front();
        pending_.pop_front();
        if (event.throws && event.outOfMemory) throw std::bad_alloc();
        if (event.throws) throw std::runtime_error("event delivery failure");
        journal_.push_back("OnStatus(" + event.printerStatus + "," + std::to_string(event.result) + ")");
        if (onStatus_) onStatus_(event.printerStatus, event.result);
    }
}

}  // namespace testing_support
