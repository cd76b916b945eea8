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
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/label_pictures.h"
#include "core/printer.h"
#include "printers/cups/batch.h"
#include "printers/cups/ipp.h"
#include "printers/cups/queue.h"
#include "printers/cups/status_board.h"

namespace bcpctrl::printers::cups {

inline constexpr int kMostJobsWaiting = 100;  // cupsd's own default MaxJobs is 500

// One job of ours that the queue has not finished.
struct QueuedJob {
    int id = 0;
    int labels = 0;
    int pagesPerLabel = 1;  // impressions the queue counts for one label
    int confirmed = 0;      // labels reported printed
    bool started = false;  // the queue has begun it
};

class CupsPrinter final : public Printer {
public:
    using Clock = std::chrono::steady_clock;

    CupsPrinter(QueueProfile queue, Server server, Connection connection,
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
    LabelBatch& batchFor(int copies, bool cut);
    void dropNewestLabel();
    bool due(Clock::time_point now) const;
    std::optional<Refusal> sendDue(Connection& connection);
    std::optional<Refusal> submitOldest(Connection& connection);
    void handedOverOldest();
    std::optional<Refusal> sendOrHold(Connection& connection);
    std::optional<Refusal> sendAtClose();
    IssueAnswer answerAfterHandOver();
    std::optional<ErrorNumber> takeFailure();

    // The watcher thread.
    void watch(std::stop_token stop);
    void follow(Connection& connection);
    void flushIfDue(Connection& connection);
    void updateJobs(const std::vector<JobProgress>& progress);

    const QueueProfile queue_;
    const Server server_;
    const std::shared_ptr<const LabelPictures> pictures_;
    const std::size_t heldInMemoryBytes_;  // per batch; the rest waits in a temporary file

    struct HeldBatch {
        std::unique_ptr<LabelBatch> labels;
        Clock::time_point since;
    };

    std::mutex sending_;  // the held batches and every submission, one thread at a time
    Connection issuing_;
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

}  // namespace bcpctrl::printers::cups
