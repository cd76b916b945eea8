// SPDX-License-Identifier: MIT
// The few IPP conversations the CUPS printer holds with cupsd, over libcups, with every C
// handle wrapped so that it frees itself. Each thread uses a Connection of its own.
#pragma once

#include <cups/cups.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/environment.h"
#include "core/results.h"
#include "printers/cups/queue_state.h"
#include "render/free_with.h"

namespace bcpctrl::printers::cups {

using IppMessage = std::unique_ptr<ipp_t, render::FreeWith<ippDelete>>;

// Where cupsd listens: a host and port, or the path of a local socket (the port unused).
struct Server {
    std::string host;
    int port = 631;
};

// "host", "host:port", "[v6 address]:port" or "/path/to/socket"; nothing for an empty text
// or a port that is not a number.
std::optional<Server> parseServer(std::string_view text);
// CUPS_SERVER from the control's environment when set, otherwise libcups's own choice
// (client.conf, the local socket or localhost).
Server defaultServer(const EnvironmentLookup& environment);

// A local cupsd answers in milliseconds; these bound the wait for one that has hung.
inline constexpr int kConnectTimeoutMs = 2000;
inline constexpr double kRequestTimeoutSeconds = 5.0;

// One connection to cupsd, made when first needed and made again after a failure.
class Connection {
public:
    explicit Connection(Server server) : server_(std::move(server)) {}

    http_t* http();  // nullptr when cupsd cannot be reached
    void drop();     // after a failed exchange, so the next one connects afresh

private:
    Server server_;
    std::unique_ptr<http_t, render::FreeWith<httpClose>> http_;
};

// A queue as IPP addresses it.
struct QueueAddress {
    std::string name;
    std::string uri;       // ipp://localhost/printers/NAME
    std::string resource;  // /printers/NAME
};
QueueAddress queueAddress(const std::string& name);
// Whether cupsd can have a queue of this name: 1 to 127 bytes, none of them a control
// character, space, DEL or one of / \ ? ' " #, and not "." or ".." (which a resource path
// takes for a folder). A queue of any other name is asked for nowhere: it is unknown.
bool isQueueName(std::string_view name);

// Why an exchange brought no usable answer: CommunicationError when cupsd cannot be
// reached or stops answering, UnknownPrinterName for a queue it does not know,
// WriteFailed for any other refusal. `tooManyJobs` marks cupsd's "Too many active jobs".
struct Refusal {
    ErrorNumber error = ErrorNumber::CommunicationError;
    bool tooManyJobs = false;
};

// What cupsd reports about a queue while it prints.
struct QueueObservation {
    QueueState state = QueueState::Idle;
    std::vector<std::string> reasons;
    bool acceptingJobs = true;
};

struct JobProgress {
    int id = 0;
    ipp_jstate_t state = IPP_JSTATE_PENDING;
    int impressions = 0;  // pages the driver has begun
};

// A job to create: its name, the format of its documents and its job attributes
// ("copies", "media"...), typed by libcups as lp's options are.
struct JobTicket {
    std::string title;
    std::string documentFormat;
    std::vector<std::pair<std::string, std::string>> attributes;
};

// A request to the queue, carrying its printer-uri and the requesting user.
IppMessage newRequest(ipp_op_t operation, const QueueAddress& queue);
void requestAttributes(ipp_t* request, const std::vector<const char*>& names);

// The response, or why there is none.
struct Exchange {
    IppMessage response;
    std::optional<Refusal> refusal;
};
Exchange exchange(Connection& connection, IppMessage request, const std::string& resource);

std::vector<std::string> keywords(ipp_t* response, const char* name);

Outcome<QueueObservation> observeQueue(Connection& connection, const QueueAddress& queue);
// The queue's jobs that have not finished yet.
Outcome<std::vector<JobProgress>> unfinishedJobs(Connection& connection, const QueueAddress& queue);
Outcome<JobProgress> jobProgress(Connection& connection, const QueueAddress& queue, int jobId);

// The documents of a job, read piece by piece as they are sent, so that they need not be
// held in memory.
class JobDocuments {
public:
    virtual ~JobDocuments() = default;
    virtual std::size_t documentCount() const = 0;
    // Hands document `index` to `take` piece by piece; false when it cannot be read or
    // `take` answers false.
    virtual bool readDocument(std::size_t index, const std::function<bool(std::string_view)>& take) const = 0;
};

// Creates the job and sends its documents; the job id, or why it could not be made. A job
// whose documents do not all arrive is cancelled, so that it does not wait in the queue.
// When cupsd cannot be told to (it has gone), a job that may hold whole documents (those
// before, or this one when it went to the end and its answer never came) prints them
// once cupsd stops waiting for the rest (its MultipleOperationTimeout): `mayPrint`, and
// sending its labels again could print them twice.
struct Submission {
    int jobId = 0;
    std::optional<Refusal> refusal;
    bool mayPrint = false;
};
Submission submitJob(Connection& connection, const QueueAddress& queue, const JobTicket& ticket,
                     const JobDocuments& documents);

}  // namespace bcpctrl::printers::cups
