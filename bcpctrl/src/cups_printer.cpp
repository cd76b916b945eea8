// SPDX-License-Identifier: MIT
// The CUPS printer: labels go to a CUPS queue through libcups, drawn at the queue's own
// resolution, and a watcher thread follows the queue and its jobs so that the host hears
// of printed labels and of faults while it yields.
//
// Labels go out while the job runs. A label is sent as a job of its own when no job of
// ours waits in the queue; while one waits, the labels that follow are held and go
// together as the next job once that one has started, or after a second at most. A busy
// printer so gets batches as large as it is behind, and cupsd's job table stays small
// even for 30,000 labels: at most kMostJobsWaiting of our jobs are unfinished at once,
// fewer when cupsd turns a job away for its own MaxJobs limits.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "bcpctrl/cups_status.h"
#include "bcpctrl/label_pictures.h"
#include "bcpctrl/printer_status.h"
#include "bcpctrl/result_codes.h"
#include "cups_batch.h"
#include "cups_ipp.h"
#include "cups_queue.h"
#include "printer_kinds.h"

namespace bcpctrl {
namespace {

using Clock = std::chrono::steady_clock;
using namespace json_reading;

constexpr auto kPollInterval = std::chrono::milliseconds(250);
constexpr auto kLongestHold = std::chrono::seconds(1);
constexpr auto kLongestWaitAtClose = std::chrono::seconds(10);
constexpr int kMostJobsWaiting = 100;  // cupsd's own default MaxJobs is 500
constexpr int kMostCopies = 999;
constexpr std::int64_t kMostHeldInMemoryBytes = std::int64_t{1} << 30;  // a printers.json limit

bool isFault(std::string_view state) {
    using namespace printer_status;
    return state != kReady && state != kReceiving && state != kLabelPrinted && state != kPrinting;
}

// {"type": "cups", "queue": "NAME", "server": "host:port" or "/path/to/socket", "heldInMemoryBytes": N}
struct CupsEntry final : PrinterEntry {
    std::string queue;
    std::optional<cups::Server> server;  // cupsd's default when absent
    std::size_t heldInMemoryBytes = cups::kHeldInMemoryBytes;

    PortOpening open(const PortContext& port) const override;
    // The queue tells its resolution when the port opens; most label printers have this one.
    int drawingDotsPerInch() const override { return render::kDefaultDotsPerInch; }
};

// One job of ours that the queue has not finished.
struct QueuedJob {
    int id = 0;
    int labels = 0;
    int pagesPerLabel = 1;  // impressions the queue counts for one label
    int confirmed = 0;      // labels reported printed
    bool started = false;  // the queue has begun it
};

// The state last reported to the host and the reports it has not received yet. A fault is
// reported once when it appears and "00" once when it has cleared.
class StatusBoard {
public:
    void observeQueue(std::string_view state) {
        queueState_ = state;
        report();
    }
    void labelsLost() {
        lostLabels_ = true;
        report();
    }
    void confirm(int labels) {
        for (int label = 0; label < labels; ++label) events_.push_back({std::string(printer_status::kLabelPrinted)});
    }
    // The fault an Issue answers with; lost labels are answered once.
    std::optional<std::string> faultToAnswer() {
        const std::string state = current();
        if (!isFault(state)) return std::nullopt;
        if (!isFault(queueState_)) lostLabels_ = false;
        return state;
    }
    void moveEventsTo(StatusEvents& events) {
        events.insert(events.end(), events_.begin(), events_.end());
        events_.clear();
    }

private:
    std::string current() const {
        if (isFault(queueState_) || !lostLabels_) return queueState_;
        return std::string(printer_status::kOtherFault);
    }
    void report() {
        const std::string state = current();
        if (state == reported_) return;
        if (isFault(state)) {
            events_.push_back({state});
        } else if (isFault(reported_)) {
            events_.push_back({std::string(printer_status::kReady)});
        }
        reported_ = state;
    }

    std::string queueState_{printer_status::kReady};
    bool lostLabels_ = false;
    std::string reported_{printer_status::kReady};
    StatusEvents events_;
};

class CupsPrinter final : public Printer {
public:
    CupsPrinter(cups::QueueProfile queue, cups::Server server, cups::Connection connection,
                std::shared_ptr<const LabelPictures> pictures, std::size_t heldInMemoryBytes)
        : queue_(std::move(queue)),
          server_(std::move(server)),
          pictures_(std::move(pictures)),
          heldInMemoryBytes_(heldInMemoryBytes),
          issuing_(std::move(connection)),
          watcher_([this](std::stop_token stop) { watch(stop); }) {}
    ~CupsPrinter() override { close(); }
    CupsPrinter(const CupsPrinter&) = delete;
    CupsPrinter& operator=(const CupsPrinter&) = delete;

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override;
    void poll(StatusEvents& events) override;
    frame::ResultCode close() override;

private:
    // Caller's side, under sending_.
    std::optional<ErrorNumber> handOver(const LabelToPrint& label);
    cups::LabelBatch& batchFor(int copies, bool cut);
    void dropNewestLabel();
    bool due(Clock::time_point now) const;
    std::optional<cups::Refusal> sendDue(cups::Connection& connection);
    std::optional<cups::Refusal> submitOldest(cups::Connection& connection);
    void handedOverOldest();
    std::optional<cups::Refusal> sendOrHold(cups::Connection& connection);
    std::optional<cups::Refusal> sendAtClose();
    IssueAnswer answerAfterHandOver();
    std::optional<ErrorNumber> takeFailure();

    // The watcher thread.
    void watch(std::stop_token stop);
    void follow(cups::Connection& connection);
    void flushIfDue(cups::Connection& connection);
    void updateJobs(const std::vector<cups::JobProgress>& progress);

    const cups::QueueProfile queue_;
    const cups::Server server_;
    const std::shared_ptr<const LabelPictures> pictures_;
    const std::size_t heldInMemoryBytes_;  // per batch; the rest waits in a temporary file

    struct HeldBatch {
        std::unique_ptr<cups::LabelBatch> labels;
        Clock::time_point since;
    };

    std::mutex sending_;  // the held batches and every submission, one thread at a time
    cups::Connection issuing_;
    std::deque<HeldBatch> held_;  // oldest first; only the newest takes more labels
    int labelsSent_ = 0;

    mutable std::mutex shared_;  // what the watcher and the caller both read and write
    std::vector<QueuedJob> jobs_;
    StatusBoard board_;
    std::optional<ErrorNumber> failure_;  // held labels the watcher could not send
    int jobLimit_ = kMostJobsWaiting;

    bool closed_ = false;
    std::jthread watcher_;  // last, so that it starts once everything above is ready
};

IssueAnswer CupsPrinter::issue(const LabelToPrint& label, StatusEvents& events) {
    static_cast<void>(events);  // reports reach the host through poll()
    const std::lock_guard sending(sending_);
    if (const auto failure = takeFailure()) return {resultCodeOf(*failure), ""};
    // The queue is asked at every hand-over, so a fault shows with the very next label.
    const auto observation = cups::observeQueue(issuing_, queue_.address);
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
    cups::LabelBatch& batch = batchFor(copies, label.cut);
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

cups::LabelBatch& CupsPrinter::batchFor(int copies, bool cut) {
    if (held_.empty() || !held_.back().labels->holds(copies, cut)) {
        held_.push_back({std::make_unique<cups::LabelBatch>(queue_, copies, cut, heldInMemoryBytes_), Clock::now()});
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

std::optional<cups::Refusal> CupsPrinter::sendDue(cups::Connection& connection) {
    while (due(Clock::now())) {
        if (auto refusal = sendOrHold(connection)) return refusal;
    }
    return std::nullopt;
}

std::optional<cups::Refusal> CupsPrinter::submitOldest(cups::Connection& connection) {
    const cups::LabelBatch& batch = *held_.front().labels;
    const cups::Submission submission =
        cups::submitJob(connection, queue_.address, batch.ticket(labelsSent_ + 1), batch);
    if (submission.refusal) {
        // Labels cupsd may print after all are not sent again: once or not at all, never twice.
        if (submission.mayPrint) handedOverOldest();
        return submission.refusal;
    }
    const int pagesPerLabel = queue_.kind == cups::DocumentKind::CupsRaster ? 1 : batch.copies();
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
std::optional<cups::Refusal> CupsPrinter::sendOrHold(cups::Connection& connection) {
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
std::optional<cups::Refusal> CupsPrinter::sendAtClose() {
    const auto deadline = Clock::now() + kLongestWaitAtClose;
    while (!held_.empty()) {
        const auto refusal = submitOldest(issuing_);
        if (refusal && (!refusal->tooManyJobs || Clock::now() >= deadline)) return refusal;
        if (refusal) std::this_thread::sleep_for(kPollInterval);
    }
    return std::nullopt;
}

void CupsPrinter::watch(std::stop_token stop) {
    cups::Connection connection(server_);
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
void CupsPrinter::follow(cups::Connection& connection) {
    const auto observation = cups::observeQueue(connection, queue_.address);
    if (!observation.ok()) return;
    auto progress = cups::unfinishedJobs(connection, queue_.address);
    if (!progress.ok()) return;
    std::vector<int> ours;
    {
        const std::lock_guard shared(shared_);
        for (const QueuedJob& job : jobs_) ours.push_back(job.id);
    }
    for (const int id : ours) {
        const auto listed = std::find_if(progress.value().begin(), progress.value().end(),
                                         [id](const cups::JobProgress& job) { return job.id == id; });
        if (listed != progress.value().end()) continue;
        if (auto ended = cups::jobProgress(connection, queue_.address, id); ended.ok()) {
            progress.value().push_back(ended.value());
        }
    }
    const std::lock_guard shared(shared_);
    board_.observeQueue(printerStateOfQueue(observation.value().state, observation.value().reasons));
    updateJobs(progress.value());
}

// Under shared_. A label counts as printed once the driver has begun the page after it, or
// when its job has completed; a job cancelled or aborted loses the labels it had left.
void CupsPrinter::updateJobs(const std::vector<cups::JobProgress>& progress) {
    for (auto job = jobs_.begin(); job != jobs_.end();) {
        const auto found = std::find_if(progress.begin(), progress.end(),
                                        [&](const cups::JobProgress& entry) { return entry.id == job->id; });
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

void CupsPrinter::flushIfDue(cups::Connection& connection) {
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

PortOpening CupsEntry::open(const PortContext& port) const {
    const cups::Server target = server ? *server : cups::defaultServer(port.environment);
    cups::Connection connection(target);
    if (connection.http() == nullptr) return {resultCodeOf(ErrorNumber::CommunicationError), nullptr};
    auto profile = cups::inspectQueue(connection, queue);
    if (!profile.ok()) return {resultCodeOf(*profile.error()), nullptr};
    auto pictures = port.pictures ? port.pictures : drawnLabelPictures();
    return {kSuccess, std::make_unique<CupsPrinter>(std::move(profile.value()), target, std::move(connection),
                                                    std::move(pictures), heldInMemoryBytes)};
}

}  // namespace

namespace printer_kinds {

std::unique_ptr<const PrinterEntry> readCupsEntry(const Json& entry) {
    auto cupsEntry = std::make_unique<CupsEntry>();
    cupsEntry->queue = readString(member(entry, "queue"));
    if (cupsEntry->queue.empty()) throw JsonShapeError{};
    if (const Json* server = optionalMember(entry, "server")) {
        cupsEntry->server = cups::parseServer(readString(*server));
        if (!cupsEntry->server) throw JsonShapeError{};
    }
    if (const Json* bytes = optionalMember(entry, "heldInMemoryBytes")) {
        const std::int64_t heldBytes = readInteger(*bytes);
        if (heldBytes < 0 || heldBytes > kMostHeldInMemoryBytes) throw JsonShapeError{};
        cupsEntry->heldInMemoryBytes = static_cast<std::size_t>(heldBytes);
    }
    return cupsEntry;
}

std::unique_ptr<const PrinterEntry> findCupsDestination(const std::string& printerName,
                                                        const EnvironmentLookup& environment) {
    std::string queue = printerName;
    std::replace(queue.begin(), queue.end(), ' ', '_');
    cups::Connection connection(cups::defaultServer(environment));
    if (!cups::observeQueue(connection, cups::queueAddress(queue)).ok()) return nullptr;
    auto entry = std::make_unique<CupsEntry>();
    entry->queue = std::move(queue);
    return entry;
}

}  // namespace printer_kinds
}  // namespace bcpctrl
