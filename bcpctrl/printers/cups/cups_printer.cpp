// SPDX-License-Identifier: MIT
#include "printers/cups/cups_printer.h"

#include <algorithm>
#include <condition_variable>
#include <string>

#include "printers/cups/queue_state.h"

namespace bcpctrl::printers::cups {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(250);
constexpr auto kLongestHold = std::chrono::seconds(1);
constexpr auto kLongestWaitAtClose = std::chrono::seconds(10);

}  // namespace

IssueAnswer CupsPrinter::issue(const LabelToPrint& label, StatusEvents& events) {
    static_cast<void>(events);  // reports reach the host through poll()
    const std::lock_guard sending(sending_);
    if (const auto failure = takeFailure()) return {resultCodeOf(*failure), ""};
    // The queue is asked at every hand-over, so a fault shows with the very next label.
    const auto observation = observeQueue(issuing_, queue_.address);
    if (!observation.ok()) return {resultCodeOf(*observation.error()), ""};
    if (!observation.value().acceptingJobs) return {resultCodeOf(ErrorNumber::WriteFailed), ""};
    {
        const std::lock_guard shared(shared_);
        board_.observeQueue(printerStateOfQueue(observation.value().state, observation.value().reasons));
    }
    if (const auto error = handOver(label)) return {resultCodeOf(*error), ""};
    return answerAfterHandOver();
}

std::optional<ErrorNumber> CupsPrinter::handOver(const LabelToPrint& label) {
    const int copies = std::clamp(label.copies, 1, kMostCopies);
    LabelBatch& batch = batchFor(copies, label.cut);
    if (const auto error = batch.add(label, *pictures_)) {
        if (batch.labels() == 0) held_.pop_back();  // an empty batch would hold up the ones after it
        return error;
    }
    if (const auto refusal = sendDue(issuing_)) {
        dropNewestLabel();  // this label was not handed over; the ones held before it stay
        return refusal->error;
    }
    return std::nullopt;
}

LabelBatch& CupsPrinter::batchFor(int copies, bool cut) {
    if (held_.empty() || !held_.back().labels->holds(copies, cut)) {
        held_.push_back({std::make_unique<LabelBatch>(queue_, copies, cut, heldInMemoryBytes_), Clock::now()});
    }
    return *held_.back().labels;
}

void CupsPrinter::dropNewestLabel() {
    if (held_.empty()) return;
    held_.back().labels->dropLast();
    if (held_.back().labels->labels() == 0) held_.pop_back();
}

// The oldest batch goes as soon as no job of ours waits to start, or once it has waited
// long enough.
bool CupsPrinter::due(Clock::time_point now) const {
    if (held_.empty() || held_.front().labels->labels() == 0) return false;
    const std::lock_guard shared(shared_);
    if (static_cast<int>(jobs_.size()) >= jobLimit_) return false;
    const bool oneWaits = std::any_of(jobs_.begin(), jobs_.end(), [](const QueuedJob& job) { return !job.started; });
    return !oneWaits || now - held_.front().since >= kLongestHold;
}

std::optional<Refusal> CupsPrinter::sendDue(Connection& connection) {
    while (due(Clock::now())) {
        if (auto refusal = sendOrHold(connection)) return refusal;
    }
    return std::nullopt;
}

std::optional<Refusal> CupsPrinter::submitOldest(Connection& connection) {
    const LabelBatch& batch = *held_.front().labels;
    const Submission submission =
        submitJob(connection, queue_.address, batch.ticket(labelsSent_ + 1), batch);
    if (submission.refusal) {
        // Labels cupsd may print after all are not sent again: once or not at all, never twice.
        if (submission.mayPrint) handedOverOldest();
        return submission.refusal;
    }
    const int pagesPerLabel = queue_.kind == DocumentKind::CupsRaster ? 1 : batch.copies();
    {
        const std::lock_guard shared(shared_);
        jobs_.push_back({submission.jobId, batch.labels(), pagesPerLabel, 0, false});
    }
    handedOverOldest();
    return std::nullopt;
}

// The oldest batch is cupsd's now, or may be.
void CupsPrinter::handedOverOldest() {
    labelsSent_ += held_.front().labels->labels();
    held_.pop_front();
}

// cupsd turns a job away when its MaxJobs limits are reached; while jobs of ours are in the
// queue, the batch then waits for one of them to finish instead of failing.
std::optional<Refusal> CupsPrinter::sendOrHold(Connection& connection) {
    const auto refusal = submitOldest(connection);
    if (!refusal || !refusal->tooManyJobs) return refusal;
    const std::lock_guard shared(shared_);
    if (jobs_.empty()) return refusal;
    jobLimit_ = static_cast<int>(jobs_.size());
    return std::nullopt;
}

IssueAnswer CupsPrinter::answerAfterHandOver() {
    const std::lock_guard shared(shared_);
    if (const auto fault = board_.faultToAnswer()) return {frame::kPrinterStatusReport, *fault};
    return {kSuccess, std::string(printer_status::kPrinting)};
}

std::optional<ErrorNumber> CupsPrinter::takeFailure() {
    const std::lock_guard shared(shared_);
    return std::exchange(failure_, std::nullopt);
}

void CupsPrinter::poll(StatusEvents& events) {
    const std::lock_guard shared(shared_);
    board_.moveEventsTo(events);
}

// Held labels are sent before the port closes; jobs already in the queue print on after it.
frame::ResultCode CupsPrinter::close() {
    if (closed_) return kSuccess;
    closed_ = true;
    watcher_.request_stop();
    if (watcher_.joinable()) watcher_.join();
    const std::lock_guard sending(sending_);
    std::optional<ErrorNumber> failure = takeFailure();
    if (const auto refusal = sendAtClose()) failure = refusal->error;
    return failure ? resultCodeOf(*failure) : kSuccess;
}

// Every held batch goes now, waiting a while for room when cupsd has too many jobs.
std::optional<Refusal> CupsPrinter::sendAtClose() {
    const auto deadline = Clock::now() + kLongestWaitAtClose;
    while (!held_.empty()) {
        const auto refusal = submitOldest(issuing_);
        if (refusal && (!refusal->tooManyJobs || Clock::now() >= deadline)) return refusal;
        if (refusal) std::this_thread::sleep_for(kPollInterval);
    }
    return std::nullopt;
}

void CupsPrinter::watch(std::stop_token stop) {
    Connection connection(server_);
    std::mutex sleeping;
    std::condition_variable_any wakeUp;
    while (!stop.stop_requested()) {
        follow(connection);
        flushIfDue(connection);
        std::unique_lock lock(sleeping);
        wakeUp.wait_for(lock, stop, kPollInterval, [&stop] { return stop.stop_requested(); });
    }
}

// When cupsd cannot be asked, nothing is reported: Issue and close find out for themselves.
void CupsPrinter::follow(Connection& connection) {
    const auto observation = observeQueue(connection, queue_.address);
    if (!observation.ok()) return;
    auto progress = unfinishedJobs(connection, queue_.address);
    if (!progress.ok()) return;
    std::vector<int> ours;
    {
        const std::lock_guard shared(shared_);
        for (const QueuedJob& job : jobs_) ours.push_back(job.id);
    }
    for (const int id : ours) {
        const auto listed = std::find_if(progress.value().begin(), progress.value().end(),
                                         [id](const JobProgress& job) { return job.id == id; });
        if (listed != progress.value().end()) continue;
        if (auto ended = jobProgress(connection, queue_.address, id); ended.ok()) {
            progress.value().push_back(ended.value());
        }
    }
    const std::lock_guard shared(shared_);
    board_.observeQueue(printerStateOfQueue(observation.value().state, observation.value().reasons));
    updateJobs(progress.value());
}

// Under shared_. A label counts as printed once the driver has begun the page after it, or
// when its job has completed; a job cancelled or aborted loses the labels it had left.
void CupsPrinter::updateJobs(const std::vector<JobProgress>& progress) {
    for (auto job = jobs_.begin(); job != jobs_.end();) {
        const auto found = std::find_if(progress.begin(), progress.end(),
                                        [&](const JobProgress& entry) { return entry.id == job->id; });
        if (found == progress.end()) {
            ++job;
            continue;
        }
        job->started = job->started || found->state >= IPP_JSTATE_PROCESSING;
        int printed = std::clamp(found->impressions / job->pagesPerLabel - 1, 0, job->labels);
        if (found->state == IPP_JSTATE_COMPLETED) printed = job->labels;
        board_.confirm(std::max(printed - job->confirmed, 0));
        job->confirmed = std::max(printed, job->confirmed);
        const bool ended = found->state >= IPP_JSTATE_CANCELED;
        if (ended && job->confirmed < job->labels) board_.labelsLost();
        job = ended ? jobs_.erase(job) : job + 1;
    }
}

void CupsPrinter::flushIfDue(Connection& connection) {
    const std::lock_guard sending(sending_);
    {
        const std::lock_guard shared(shared_);
        if (failure_) return;  // the next Issue reports it; close tries once more
    }
    if (const auto refusal = sendDue(connection)) {
        const std::lock_guard shared(shared_);
        failure_ = refusal->error;
    }
}

}  // namespace bcpctrl::printers::cups
