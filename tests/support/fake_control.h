// SPDX-License-Identifier: MIT
// A control that records every call with its dispatch identifier and arguments, answers
// from a script, and raises queued status events only when the host yields.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "frame/bcp_control.h"
#include "journal.h"

namespace testing_support {

using Argument = std::variant<std::int64_t, std::string>;

struct Call {
    frame::DispId dispId;
    std::vector<Argument> args;  // in call order, outputs left out
    bool operator==(const Call&) const = default;
};

struct Answer {
    frame::VbBool ret = frame::kVbTrue;
    frame::ResultCode result = 0;
    std::string status;    // written to the status argument of Issue
    bool throws = false;   // the call fails with an exception instead of answering
    bool outOfMemory = false;  // ...and that exception is std::bad_alloc
};

class FakeControl : public frame::BcpControl {
public:
    explicit FakeControl(Journal& journal) : journal_(journal) {}

    // Answers for the next calls of one operation, in order; afterwards `defaultAnswer`.
    void script(frame::DispId dispId, Answer answer) { scripts_[dispId].push_back(std::move(answer)); }
    // Raised at the next yield of the host.
    void queueStatus(std::string printerStatus, frame::ResultCode result) {
        pending_.push_back({std::move(printerStatus), result, false});
    }
    // The next delivery fails with an exception (std::bad_alloc when out of memory) at this
    // point instead of raising an event.
    void queueFailingDelivery(bool outOfMemory = false) { pending_.push_back({{}, 0, true, outOfMemory}); }
    // Runs after the n-th Issue call (from 1), e.g. to queue a status event.
    std::function<void(int issueNumber)> afterIssue;
    // Overwrites the port code that OpenPort receives by reference.
    std::optional<std::int16_t> rewritePortCode;

    Answer defaultAnswer;
    std::vector<Call> calls;
    std::vector<Call> callsOf(frame::DispId dispId) const;
    int issueCount = 0;
    // The texts set since the previous Issue, for every Issue that answered true: the
    // labels a printer would have printed.
    std::vector<std::vector<std::string>> issuedLabels;

    void setPortSetting(const std::string& portSetting) override;
    void setUsePrinter(std::int16_t usePrinter) override;
    frame::VbBool LoadFormat(std::string& formatPath, frame::ResultCode& result) override;
    frame::VbBool OpenPort(std::int16_t& portCode, frame::ResultCode& result) override;
    frame::VbBool SetField(std::int16_t labelField, std::string& text, frame::ResultCode& result) override;
    frame::VbBool Issue(std::int16_t first, std::int16_t second, std::string& status,
                        frame::ResultCode& result) override;
    frame::VbBool ClosePort(frame::ResultCode& result) override;
    void connectOnStatus(OnStatusHandler handler) override { onStatus_ = std::move(handler); }
    void deliverPendingEvents() override;

private:
    frame::VbBool answer(frame::DispId dispId, frame::ResultCode& result, std::string* status = nullptr);
    void record(frame::DispId dispId, std::vector<Argument> args);

    Journal& journal_;
    std::map<frame::DispId, std::deque<Answer>> scripts_;
    struct PendingStatus {
        std::string printerStatus;
        frame::ResultCode result;
        bool throws;
        bool outOfMemory = false;
    };
    std::deque<PendingStatus> pending_;
    std::vector<std::string> textsSinceIssue_;
    OnStatusHandler onStatus_;
};

}  // namespace testing_support
