// SPDX-License-Identifier: MIT
#include "private_cupsd.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace testing_support {
namespace fs = std::filesystem;

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kSampleDrivers = "/usr/share/cups/drv/sample.drv";
constexpr auto kStartTimeout = std::chrono::seconds(10);

struct IppDeleter {
    void operator()(ipp_t* message) const { ippDelete(message); }
};
struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};

std::string printerUri(const std::string& name) { return "ipp://localhost/printers/" + name; }

// A port the system has no listener on now; cupsd takes it a moment later.
int freeTcpPort(const std::string& address) {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &bound.sin_addr);
    socklen_t length = sizeof bound;
    const bool found = ::bind(probe, reinterpret_cast<sockaddr*>(&bound), sizeof bound) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&bound), &length) == 0;
    ::close(probe);
    return found ? ntohs(bound.sin_port) : 0;
}

}  // namespace

DeviceTap::DeviceTap(fs::path pipe) : pipe_(std::move(pipe)) {
    ::mkfifo(pipe_.c_str(), 0600);
    // Read and write: cupsd's open never blocks, and the pipe never reports an end.
    fd_ = ::open(pipe_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    reader_ = std::jthread([this](std::stop_token stop) { drain(stop); });
}

DeviceTap::~DeviceTap() {
    reader_.request_stop();
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) ::close(fd_);
}

void DeviceTap::drain(std::stop_token stop) {
    char buffer[65536];
    while (!stop.stop_requested()) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) continue;
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got <= 0) continue;
        const std::lock_guard lock(mutex_);
        bytes_.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string DeviceTap::bytes() const {
    const std::lock_guard lock(mutex_);
    return bytes_;
}

void DeviceTap::clear() {
    const std::lock_guard lock(mutex_);
    bytes_.clear();
}

bool DeviceTap::waitFor(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(bytes())) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

PrivateCupsd::PrivateCupsd(const CupsdSettings& settings) : settings_(settings) {
    if (!fs::exists(kCupsd) || !fs::exists(kSampleDrivers)) {
        unavailable_ = std::string("cupsd or CUPS's sample drivers are not installed (") + kCupsd + ", " +
                       kSampleDrivers + "): install cups and cups-daemon";
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "private-cupsd-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    // Filters run as cupsd's User (lp) and must reach the PPDs below this folder.
    fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    // root/ssl holds the certificate cupsd makes itself for encrypted connections.
    for (const char* sub : {"root", "root/ssl", "cache", "spool", "spool/tmp", "log", "state", "devices"}) {
        fs::create_directories(folder_ / sub);
    }
    if (!settings_.tcpAddress.empty()) tcpPort_ = freeTcpPort(settings_.tcpAddress);
    writeConfiguration();
    start();
}

PrivateCupsd::~PrivateCupsd() {
    stop();
    taps_.clear();
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

void PrivateCupsd::writeConfiguration() const {
    const std::string f = folder_.string();
    std::ofstream(folder_ / "root" / "cups-files.conf")
        << "ServerRoot " << f << "/root\nCacheDir " << f << "/cache\nStateDir " << f << "/state\n"
        << "RequestRoot " << f << "/spool\nTempDir " << f << "/spool/tmp\nErrorLog " << f << "/log/error_log\n"
        << "AccessLog " << f << "/log/access_log\nPageLog " << f << "/log/page_log\n"
        << "Printcap " << f << "/state/printcap\nFileDevice Yes\n";
    std::ofstream conf(folder_ / "root" / "cupsd.conf");
    conf << "Listen " << socketPath() << "\nBrowsing Off\nWebInterface No\nLogLevel info\n"
         << "DefaultAuthType None\nJobRetryInterval 1\nServerAlias *\n"
         << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"
         << "<Location />\n  Order allow,deny\n  Allow all\n"
         << (settings_.encryptionRequired ? "  Encryption Required\n" : "") << "</Location>\n";
    if (tcpPort_ > 0) conf << "Listen " << tcpServer() << "\n";
    if (settings_.maxJobsPerPrinter > 0) conf << "MaxJobsPerPrinter " << settings_.maxJobsPerPrinter << "\n";
    if (settings_.maxJobs > 0) conf << "MaxJobs " << settings_.maxJobs << "\n";
    if (settings_.multipleOperationTimeoutSeconds > 0) {
        conf << "MultipleOperationTimeout " << settings_.multipleOperationTimeoutSeconds << "\n";
    }
}

bool PrivateCupsd::start() {
    if (folder_.empty()) return false;
    const std::string conf = (folder_ / "root" / "cupsd.conf").string();
    const std::string files = (folder_ / "root" / "cups-files.conf").string();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives a test that crashed
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            unavailable_ = "cupsd could not start here: " + errorLogTail();
            return false;
        }
        std::unique_ptr<http_t, HttpCloser> http(httpConnect2(socketPath().c_str(), ippPort(), nullptr, AF_UNSPEC,
                                                               HTTP_ENCRYPTION_NEVER, 1, 200, nullptr));
        if (http) {
            unavailable_.clear();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    unavailable_ = "cupsd did not listen within 10 s: " + errorLogTail();
    stop();
    return false;
}

void PrivateCupsd::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string PrivateCupsd::errorLogTail() const {
    std::ifstream log(folder_ / "log" / "error_log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    std::string tail;
    for (std::size_t index = lines.size() > 5 ? lines.size() - 5 : 0; index < lines.size(); ++index) {
        tail += lines[index] + " | ";
    }
    return tail;
}

DeviceTap& PrivateCupsd::addQueue(const std::string& name, const std::string& ppd) {
    auto& device = taps_[name];
    device = std::make_unique<DeviceTap>(folder_ / "devices" / name);
    std::unique_ptr<ipp_t, IppDeleter> request(ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(name).c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request.get(), IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, device->uri().c_str());
    ippAddBoolean(request.get(), IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippAddInteger(request.get(), IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    const bool ppdFile = !ppd.empty() && ppd.front() == '/';
    if (!ppdFile) {
        const char* model = ppd.empty() ? "raw" : ppd.c_str();  // a raw queue passes documents on as they are
        ippAddString(request.get(), IPP_TAG_PRINTER, IPP_TAG_NAME, "ppd-name", nullptr, model);
    }
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2(socketPath().c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr));
    if (http) {
        ippDelete(cupsDoFileRequest(http.get(), request.release(), "/admin/", ppdFile ? ppd.c_str() : nullptr));
    }
    return *device;
}

DeviceTap& PrivateCupsd::tap(const std::string& name) { return *taps_.at(name); }

bool PrivateCupsd::queueOperation(int operation, const std::string& name) {
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2(socketPath().c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr));
    if (!http) return false;
    ipp_t* request = ippNewRequest(static_cast<ipp_op_t>(operation));
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(name).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    if (operation == IPP_OP_PURGE_JOBS) ippAddBoolean(request, IPP_TAG_OPERATION, "purge-jobs", 0);
    ippDelete(cupsDoRequest(http.get(), request, "/admin/"));
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

std::vector<std::string> PrivateCupsd::finishedJobFormats(const std::string& name) {
    std::vector<std::string> formats;
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2(socketPath().c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr));
    if (!http) return formats;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(name).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "completed");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "document-format-supplied");
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http.get(), request, "/"));
    for (ipp_attribute_t* attribute = ippFindAttribute(response.get(), "document-format-supplied", IPP_TAG_MIMETYPE);
         attribute != nullptr; attribute = ippFindNextAttribute(response.get(), "document-format-supplied", IPP_TAG_MIMETYPE)) {
        formats.emplace_back(ippGetString(attribute, 0, nullptr));
    }
    return formats;
}

int PrivateCupsd::jobsWaitingOrPrinting(const std::string& name) {
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2(socketPath().c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr));
    if (!http) return -1;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(name).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http.get(), request, "/"));
    if (!response) return -1;
    int count = 0;
    for (ipp_attribute_t* state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM); state != nullptr;
         state = ippFindNextAttribute(response.get(), "job-state", IPP_TAG_ENUM)) {
        const int value = ippGetInteger(state, 0);
        if (value == IPP_JSTATE_PENDING || value == IPP_JSTATE_PROCESSING) ++count;
    }
    return count;
}

bool PrivateCupsd::pause(const std::string& name) { return queueOperation(IPP_OP_PAUSE_PRINTER, name); }
// cupsd resumes a queue that holds MaxJobsPerPrinter jobs but answers "Quota limit reached".
bool PrivateCupsd::resume(const std::string& name) {
    return queueOperation(IPP_OP_RESUME_PRINTER, name) || cupsLastError() == IPP_STATUS_ERROR_NOT_POSSIBLE;
}
bool PrivateCupsd::rejectJobs(const std::string& name) { return queueOperation(IPP_OP_CUPS_REJECT_JOBS, name); }
bool PrivateCupsd::cancelJobs(const std::string& name) { return queueOperation(IPP_OP_PURGE_JOBS, name); }

}  // namespace testing_support
