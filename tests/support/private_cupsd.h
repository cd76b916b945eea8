// SPDX-License-Identifier: MIT
// A cupsd of the test's own: its configuration, cache, spool, logs and state in a
// temporary folder, a socket listener there, and file: devices that are named pipes the
// test drains, so that every job's output is kept in order. Stopped by its pid.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// A file: device: a named pipe that a thread drains into memory while cupsd writes to it.
class DeviceTap {
public:
    explicit DeviceTap(std::filesystem::path pipe);
    ~DeviceTap();
    DeviceTap(const DeviceTap&) = delete;
    DeviceTap& operator=(const DeviceTap&) = delete;

    std::string uri() const { return "file://" + pipe_.string(); }
    std::string bytes() const;
    void clear();
    // Waits until `done` holds for what arrived so far; false after `timeout`.
    bool waitFor(const std::function<bool(const std::string&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60)) const;

private:
    void drain(std::stop_token stop);

    std::filesystem::path pipe_;
    int fd_ = -1;
    mutable std::mutex mutex_;
    std::string bytes_;
    std::jthread reader_;
};

struct CupsdSettings {
    // Limits of 0 leave cupsd's defaults: no limit per printer, 500 jobs in all (its
    // finished jobs' history included).
    int maxJobsPerPrinter = 0;
    int maxJobs = 0;
    // Also listen on this address's TCP port (a free one, kept across restarts), as a print
    // server on another machine does; empty for the local socket alone.
    std::string tcpAddress;
    // "Encryption Required" on every location. cupsd asks it of clients that are not on
    // the loopback interface only.
    bool encryptionRequired = false;
    // Seconds cupsd waits for the rest of a job's documents before it prints what it has;
    // 0 leaves its default (900).
    int multipleOperationTimeoutSeconds = 0;
};

class PrivateCupsd {
public:
    explicit PrivateCupsd(int maxJobsPerPrinter = 0, int maxJobs = 0)
        : PrivateCupsd(CupsdSettings{maxJobsPerPrinter, maxJobs, {}, false, 0}) {}
    explicit PrivateCupsd(const CupsdSettings& settings);
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // Empty while cupsd runs; otherwise why it could not run here.
    const std::string& unavailable() const { return unavailable_; }
    std::string socketPath() const { return (folder_ / "cups.sock").string(); }
    // "address:port" of the TCP listener, for CUPS_SERVER or a printer entry's "server".
    std::string tcpServer() const { return settings_.tcpAddress + ":" + std::to_string(tcpPort_); }
    // The process, for a test that makes it stop answering (SIGSTOP) and go on (SIGCONT).
    pid_t pid() const { return pid_; }
    const std::filesystem::path& folder() const { return folder_; }

    bool start();  // again after stop(), on the same folders
    void stop();   // SIGTERM to its pid, then waits for it

    // A queue on a device tap; `ppd` is a "drv:///..." name, a PPD file path or empty (raw).
    DeviceTap& addQueue(const std::string& name, const std::string& ppd);
    DeviceTap& tap(const std::string& name);
    // IPP operations on a queue: pause, resume, reject or accept jobs, cancel every job.
    bool pause(const std::string& name);
    bool resume(const std::string& name);
    bool rejectJobs(const std::string& name);
    bool cancelJobs(const std::string& name);
    // The document format of every job the queue has finished, oldest first.
    std::vector<std::string> finishedJobFormats(const std::string& name);
    // Jobs of the queue that are pending or printing (held ones, waiting for documents, not).
    int jobsWaitingOrPrinting(const std::string& name);
    std::string errorLogTail() const;

private:
    bool queueOperation(int operation, const std::string& name);
    void writeConfiguration() const;

    CupsdSettings settings_;
    int tcpPort_ = 0;
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    std::string unavailable_;
    std::map<std::string, std::unique_ptr<DeviceTap>> taps_;
};

}  // namespace testing_support
