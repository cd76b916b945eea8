// SPDX-License-Identifier: MIT
#include "printers/cups/ipp.h"

#include <algorithm>
#include <charconv>

namespace bcpctrl::printers::cups {
namespace {

constexpr const char* kCupsServerVariable = "CUPS_SERVER";

struct OptionsDeleter {
    int count = 0;
    void operator()(cups_option_t* options) const { cupsFreeOptions(count, options); }
};

// Aborts a request when cupsd has sent nothing for kRequestTimeoutSeconds.
int giveUpWaiting(http_t*, void*) { return 0; }

bool reached(ipp_status_t status) {
    return status != IPP_STATUS_ERROR_SERVICE_UNAVAILABLE && status != IPP_STATUS_ERROR_INTERNAL;
}

Refusal refusalFor(ipp_status_t status) {
    if (!reached(status)) return {ErrorNumber::CommunicationError, false};
    if (status == IPP_STATUS_ERROR_NOT_FOUND) return {ErrorNumber::UnknownPrinterName, false};
    // cupsd answers "not possible" when MaxJobs or MaxJobsPerPrinter active jobs wait already.
    const bool tooManyJobs = status == IPP_STATUS_ERROR_NOT_POSSIBLE || status == IPP_STATUS_ERROR_TOO_MANY_JOBS;
    return {ErrorNumber::WriteFailed, tooManyJobs};
}

int integerAttribute(ipp_t* message, const char* name, int fallback) {
    ipp_attribute_t* attribute = ippFindAttribute(message, name, IPP_TAG_INTEGER);
    if (attribute == nullptr) attribute = ippFindAttribute(message, name, IPP_TAG_ENUM);
    return attribute != nullptr ? ippGetInteger(attribute, 0) : fallback;
}

// One job group of a Get-Jobs response runs from a job-id to the next separator.
std::vector<JobProgress> jobsIn(ipp_t* response) {
    std::vector<JobProgress> jobs;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute != nullptr;
         attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (name == nullptr || ippGetGroupTag(attribute) != IPP_TAG_JOB) continue;
        const std::string_view key(name);
        if (key == "job-id") {
            jobs.push_back({ippGetInteger(attribute, 0), IPP_JSTATE_PENDING, 0});
        } else if (!jobs.empty() && key == "job-state") {
            jobs.back().state = static_cast<ipp_jstate_t>(ippGetInteger(attribute, 0));
        } else if (!jobs.empty() && key == "job-impressions-completed") {
            jobs.back().impressions = ippGetInteger(attribute, 0);
        }
    }
    return jobs;
}

IppMessage jobRequest(ipp_op_t operation, const QueueAddress& queue, const JobTicket& ticket) {
    IppMessage request = newRequest(operation, queue);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, ticket.title.c_str());
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [name, value] : ticket.attributes) {
        count = cupsAddOption(name.c_str(), value.c_str(), count, &options);
    }
    const std::unique_ptr<cups_option_t, OptionsDeleter> owned(options, OptionsDeleter{count});
    cupsEncodeOptions2(request.get(), count, options, IPP_TAG_OPERATION);
    cupsEncodeOptions2(request.get(), count, options, IPP_TAG_JOB);
    return request;
}

// Why a document did not go, and whether cupsd may hold it whole all the same: it went to
// the end and no answer came back.
struct DocumentRefusal {
    Refusal refusal;
    bool mayBeHeld = false;
};

std::optional<DocumentRefusal> sendDocument(Connection& connection, const QueueAddress& queue, int jobId,
                                            const std::string& format, const JobDocuments& documents,
                                            std::size_t index) {
    http_t* http = connection.http();
    if (http == nullptr) return DocumentRefusal{};
    const int lastDocument = index + 1 == documents.documentCount() ? 1 : 0;
    if (cupsStartDocument(http, queue.name.c_str(), jobId, "label", format.c_str(), lastDocument) !=
        HTTP_STATUS_CONTINUE) {
        connection.drop();
        return DocumentRefusal{refusalFor(cupsLastError())};
    }
    bool cupsdTookAll = true;
    const bool sent = documents.readDocument(index, [http, &cupsdTookAll](std::string_view piece) {
        cupsdTookAll = cupsWriteRequestData(http, piece.data(), piece.size()) == HTTP_STATUS_CONTINUE;
        return cupsdTookAll;
    });
    if (!sent) {
        connection.drop();  // a document cut short cannot be finished on this connection
        // A document that cannot be read back (its temporary file) is our failure, not cupsd's.
        return DocumentRefusal{cupsdTookAll ? Refusal{ErrorNumber::WriteFailed, false} : Refusal{}};
    }
    // A document is in only when cupsd says so. (cupsFinishDocument answers the status of the
    // request before when no answer comes at all, as when the link breaks after the document.)
    const IppMessage answer(cupsGetResponse(http, queue.resource.c_str()));
    if (!answer) {
        connection.drop();
        return DocumentRefusal{Refusal{}, true};
    }
    const ipp_status_t status = ippGetStatusCode(answer.get());
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
        if (!reached(status)) connection.drop();
        return DocumentRefusal{refusalFor(status)};
    }
    return std::nullopt;
}

// True once cupsd has cancelled the job.
bool cancelJob(Connection& connection, const QueueAddress& queue, int jobId) {
    IppMessage request = newRequest(IPP_OP_CANCEL_JOB, queue);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    return !exchange(connection, std::move(request), queue.resource).refusal;
}

}  // namespace

std::optional<Server> parseServer(std::string_view text) {
    if (text.empty()) return std::nullopt;
    if (text.front() == '/') return Server{std::string(text), ippPort()};
    const std::size_t colon = text.rfind(':');
    const std::size_t bracket = text.rfind(']');
    const bool hasPort = colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket);
    if (!hasPort) return Server{std::string(text), ippPort()};
    const std::string_view digits = text.substr(colon + 1);
    int port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc{} || end != digits.data() + digits.size() || port <= 0 || colon == 0) return std::nullopt;
    return Server{std::string(text.substr(0, colon)), port};
}

Server defaultServer(const EnvironmentLookup& environment) {
    if (const auto named = nonEmptyVariable(environment, kCupsServerVariable)) {
        if (auto server = parseServer(*named)) return std::move(*server);
    }
    return Server{cupsServer(), ippPort()};
}

http_t* Connection::http() {
    if (!http_) {
        http_.reset(httpConnect2(server_.host.c_str(), server_.port, nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                 kConnectTimeoutMs, nullptr));
        if (http_) httpSetTimeout(http_.get(), kRequestTimeoutSeconds, giveUpWaiting, nullptr);
    }
    return http_.get();
}

void Connection::drop() { http_.reset(); }

QueueAddress queueAddress(const std::string& name) {
    char uri[HTTP_MAX_URI];
    std::string resource = "/printers/" + name;
    httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, resource.c_str());
    return {name, uri, std::move(resource)};
}

bool isQueueName(std::string_view name) {
    constexpr std::size_t kLongestName = 127;
    constexpr std::string_view kRefused = "/\\?'\"#";
    const auto refused = [&](char byte) {
        const auto code = static_cast<unsigned char>(byte);
        return code <= ' ' || code == 0x7f || kRefused.find(byte) != std::string_view::npos;
    };
    return !name.empty() && name.size() <= kLongestName && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), refused);
}

IppMessage newRequest(ipp_op_t operation, const QueueAddress& queue) {
    IppMessage request(ippNewRequest(operation));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, queue.uri.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

void requestAttributes(ipp_t* request, const std::vector<const char*>& names) {
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(names.size()), nullptr, names.data());
}

Exchange exchange(Connection& connection, IppMessage request, const std::string& resource) {
    http_t* http = connection.http();
    if (http == nullptr) return {nullptr, Refusal{}};
    IppMessage response(cupsDoRequest(http, request.release(), resource.c_str()));
    const ipp_status_t status = cupsLastError();
    if (response && status <= IPP_STATUS_OK_EVENTS_COMPLETE) return {std::move(response), std::nullopt};
    if (!reached(status)) connection.drop();
    return {nullptr, refusalFor(status)};
}

std::vector<std::string> keywords(ipp_t* response, const char* name) {
    std::vector<std::string> values;
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    for (int index = 0; attribute != nullptr && index < ippGetCount(attribute); ++index) {
        if (const char* value = ippGetString(attribute, index, nullptr)) values.emplace_back(value);
    }
    return values;
}

Outcome<QueueObservation> observeQueue(Connection& connection, const QueueAddress& queue) {
    IppMessage request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue);
    requestAttributes(request.get(), {"printer-state", "printer-state-reasons", "printer-is-accepting-jobs"});
    Exchange answer = exchange(connection, std::move(request), queue.resource);
    if (answer.refusal) return answer.refusal->error;
    ipp_t* response = answer.response.get();
    QueueObservation observation;
    observation.state = static_cast<QueueState>(integerAttribute(response, "printer-state", IPP_PSTATE_IDLE));
    observation.reasons = keywords(response, "printer-state-reasons");
    ipp_attribute_t* accepting = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    observation.acceptingJobs = accepting == nullptr || ippGetBoolean(accepting, 0) != 0;
    return observation;
}

Outcome<std::vector<JobProgress>> unfinishedJobs(Connection& connection, const QueueAddress& queue) {
    IppMessage request = newRequest(IPP_OP_GET_JOBS, queue);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    requestAttributes(request.get(), {"job-id", "job-state", "job-impressions-completed"});
    Exchange answer = exchange(connection, std::move(request), queue.resource);
    if (answer.refusal) return answer.refusal->error;
    return jobsIn(answer.response.get());
}

Outcome<JobProgress> jobProgress(Connection& connection, const QueueAddress& queue, int jobId) {
    IppMessage request = newRequest(IPP_OP_GET_JOB_ATTRIBUTES, queue);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    requestAttributes(request.get(), {"job-id", "job-state", "job-impressions-completed"});
    Exchange answer = exchange(connection, std::move(request), queue.resource);
    // A finished job leaves cupsd's history when MaxJobs makes room for new ones.
    if (answer.refusal && answer.refusal->error == ErrorNumber::UnknownPrinterName) {
        return JobProgress{jobId, IPP_JSTATE_COMPLETED, 0};
    }
    if (answer.refusal) return answer.refusal->error;
    ipp_t* response = answer.response.get();
    return JobProgress{jobId, static_cast<ipp_jstate_t>(integerAttribute(response, "job-state", IPP_JSTATE_COMPLETED)),
                       integerAttribute(response, "job-impressions-completed", 0)};
}

Submission submitJob(Connection& connection, const QueueAddress& queue, const JobTicket& ticket,
                     const JobDocuments& documents) {
    Exchange created = exchange(connection, jobRequest(IPP_OP_CREATE_JOB, queue, ticket), queue.resource);
    if (created.refusal) return {0, created.refusal};
    const int jobId = integerAttribute(created.response.get(), "job-id", 0);
    if (jobId == 0) return {0, Refusal{ErrorNumber::WriteFailed, false}};
    for (std::size_t index = 0; index < documents.documentCount(); ++index) {
        if (const auto failed = sendDocument(connection, queue, jobId, ticket.documentFormat, documents, index)) {
            const bool cancelled = cancelJob(connection, queue, jobId);
            const bool holdsDocuments = index > 0 || failed->mayBeHeld;
            return {0, failed->refusal, holdsDocuments && !cancelled};
        }
    }
    return {jobId, std::nullopt};
}

}  // namespace bcpctrl::printers::cups
