// SPDX-License-Identifier: MIT
// A site with many receiving docks: one print server that every station prints through.
// A private cupsd listens on TCP, as cupsd on another machine does, with a queue on CUPS's
// own ZPL driver, and eight goods programs in console mode print on it at once: half
// through a printer entry's "server", half through CUPS_SERVER and the queue's own name.
// Every label carries its station and record in its CODE128 control number, read back
// from what reached the queue's device with zbar.
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "device_output.h"
#include "private_cupsd.h"
#include "program_test_support.h"
#include "raster_reading.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CupsdSettings;
using testing_support::Interaction;
using testing_support::PrivateCupsd;
using testing_support::ProcessResult;
using testing_support::RunningProcess;
using namespace std::chrono_literals;

constexpr int kStations = 8;
constexpr int kLabelsPerStation = 50;
constexpr const char* kQueue = "Dock_Printer";
constexpr const char* kCommunicationBox =
    "box: title=メッセージ icon=exclamation buttons=OK text=通信エラーが発生しました。発行を中止します。";
constexpr int kCommunicationError = -2146827187;  // 0x800A044D, 1101

// The control number of a station's record: what the label's CODE128 says.
std::string controlNumber(int station, int record) {
    char text[32];
    std::snprintf(text, sizeof text, "ST%d-%04d", station, record);
    return text;
}

// The sample's first receiving record, its control number (the last field) made the
// station's own, once for every record.
std::string stationData(int station, int records) {
    std::ifstream sample(testing_support::samplesDir() / "DATA" / "NYUKA.DAT", std::ios::binary);
    std::string first;
    std::getline(sample, first);  // CP932 up to the LF of its CRLF
    const std::string fields = first.substr(0, first.rfind(',') + 1);
    std::string data;
    for (int record = 1; record <= records; ++record) data += fields + controlNumber(station, record) + "\r\n";
    return data;
}

// One receiving dock: a control folder, a data file and a call log of its own.
class Station {
public:
    Station(const fs::path& root, int number, const std::string& server, int records) : number_(number) {
        folder_ = root / ("station-" + std::to_string(number));
        fs::create_directories(folder_ / "DATA");
        fs::create_directories(folder_ / "BcpCtrl");
        fs::copy(testing_support::samplesDir() / "BcpCtrl" / "formats", folder_ / "BcpCtrl" / "formats");
        std::ofstream(folder_ / "DATA" / "NYUKA.DAT", std::ios::binary) << stationData(number, records);
        // Even stations list the queue with its server; odd ones find it through CUPS_SERVER.
        if (number % 2 == 0) {
            std::ofstream(folder_ / "BcpCtrl" / "printers.json")
                << R"({"printers": {"Dock Printer": {"type": "cups", "queue": ")" << kQueue << R"(", "server": ")"
                << server << R"("}}})";
        }
        environment_ = {{"BCPCTRL_SYSTEM_DIR", (folder_ / "BcpCtrl").string()},
                        {"BCPCTRL_TRACE", (folder_ / "trace.jsonl").string()},
                        {"BCPCTRL_OUTPUT_DIR", std::nullopt},
                        {"HOME", folder_.string()},  // libcups keeps the servers' certificates there
                        {"CUPS_SERVER", number % 2 == 0 ? std::nullopt : std::optional<std::string>(server)},
                        {"DISPLAY", std::nullopt},
                        {"WAYLAND_DISPLAY", std::nullopt},
                        {"QT_QPA_PLATFORM", std::nullopt}};
    }

    void setEnvironment(const std::string& name, const std::string& value) { environment_[name] = value; }

    ProcessResult run(std::vector<Interaction> interactions) const {
        testing_support::ProcessRequest request;
        request.argv = {testing_support::programPath("mokuren-goods"), "/LABEL1 /DATA\\NYUKA.DAT /DRV /DRV:Dock Printer"};
        request.environment = environment_;
        request.workingDirectory = folder_.string();
        request.interactions = std::move(interactions);
        request.timeout = 120s;
        return testing_support::runProcess(request);
    }

    // The result of the station's last Issue in its call log.
    int lastIssueResult() const {
        std::ifstream trace(folder_ / "trace.jsonl");
        int result = 0;
        for (std::string line; std::getline(trace, line);) {
            const auto call = nlohmann::json::parse(line);
            if (call.at("op") == "Issue") result = call.at("result").get<int>();
        }
        return result;
    }

    int number() const { return number_; }

private:
    int number_;
    fs::path folder_;
    std::map<std::string, std::optional<std::string>> environment_;
};

// Every station started at once; their results in station order.
std::vector<ProcessResult> runAtOnce(const std::vector<Station>& stations,
                                     const std::function<std::vector<Interaction>()>& interactions) {
    std::vector<ProcessResult> results(stations.size());
    std::vector<std::jthread> running;
    for (std::size_t index = 0; index < stations.size(); ++index) {
        running.emplace_back([&, index] { results[index] = stations[index].run(interactions()); });
    }
    running.clear();  // joins
    return results;
}

std::vector<std::string> boxes(const ProcessResult& result) {
    std::vector<std::string> found;
    for (const auto& line : result.errorLines) {
        if (line.starts_with("box: ")) found.push_back(line);
    }
    return found;
}

std::string lastLines(const ProcessResult& result) {
    std::string text;
    const std::size_t from = result.errorLines.size() > 3 ? result.errorLines.size() - 3 : 0;
    for (std::size_t index = from; index < result.errorLines.size(); ++index) text += result.errorLines[index] + "\n";
    return text;
}

// How many times each control number reached the device, once the queue has printed
// everything it holds.
std::map<std::string, int> printedControlNumbers(PrivateCupsd& cupsd, const testing_support::DeviceTap& device) {
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (cupsd.jobsWaitingOrPrinting(kQueue) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    for (std::size_t size = 0; size != device.bytes().size();) {  // the tap drains the pipe behind cupsd
        size = device.bytes().size();
        std::this_thread::sleep_for(300ms);
    }
    std::map<std::string, int> printed;
    for (const auto& label : testing_support::decodeZplLabels(device.bytes())) {
        std::string number = "(no CODE128)";
        for (const auto& symbol : testing_support::scan(label.picture)) {
            if (symbol.type == testing_support::ZBAR_CODE128) number = symbol.data;
        }
        ++printed[number];
    }
    return printed;
}

class ManyStations : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<PrivateCupsd>(CupsdSettings{0, 0, "127.0.0.1", false});
        if (server_->unavailable().empty()) server_->addQueue(kQueue, "drv:///sample.drv/zebra.ppd");
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_->unavailable().empty()) GTEST_SKIP() << server_->unavailable();
        server_->tap(kQueue).clear();
        std::string pattern = (fs::temp_directory_path() / "stations-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override {
        if (!root_.empty()) fs::remove_all(root_);
    }

    std::vector<Station> stations(int records) const {
        std::vector<Station> made;
        for (int number = 1; number <= kStations; ++number) made.emplace_back(root_, number, server_->tcpServer(), records);
        return made;
    }

    static std::unique_ptr<PrivateCupsd> server_;
    fs::path root_;
};

std::unique_ptr<PrivateCupsd> ManyStations::server_;

TEST_F(ManyStations, EveryLabelOfEightStationsArrivesExactlyOnce) {
    const auto docks = stations(kLabelsPerStation);
    const auto results = runAtOnce(docks, [] { return std::vector<Interaction>{}; });
    for (std::size_t index = 0; index < docks.size(); ++index) {
        EXPECT_EQ(results[index].exitStatus, 0) << "station " << docks[index].number() << ":\n" << lastLines(results[index]);
    }
    std::map<std::string, int> expected;
    for (int station = 1; station <= kStations; ++station) {
        for (int record = 1; record <= kLabelsPerStation; ++record) expected[controlNumber(station, record)] = 1;
    }
    EXPECT_EQ(printedControlNumbers(*server_, server_->tap(kQueue)), expected);
}

// Every station counts here; the last one to arrive runs `last`, the others wait for it.
class Meeting {
public:
    explicit Meeting(int expected) : waiting_(expected) {}
    void arrive(const std::function<void()>& last) {
        std::unique_lock lock(mutex_);
        if (--waiting_ == 0) {
            last();
            met_.notify_all();
            return;
        }
        met_.wait_for(lock, 60s, [this] { return waiting_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable met_;
    int waiting_;
};

// The server stops answering (its host hangs or drops off the network) once every station
// has issued a few labels, and comes back while each station's failure message is still
// open; so every ClosePort finds it there again. Labels that were on their way may print or
// not, but none twice.
TEST_F(ManyStations, AServerThatStopsAnsweringGivesEveryStation1101AndPrintsNothingTwice) {
    auto docks = stations(300);  // no station reaches its end before the server goes
    Meeting printing(kStations);
    Meeting failed(kStations);
    const pid_t cupsd = server_->pid();
    const auto results = runAtOnce(docks, [&] {
        return std::vector<Interaction>{
            {"status: 5レコード目", [&](RunningProcess&) { printing.arrive([cupsd] { ::kill(cupsd, SIGSTOP); }); }},
            {"box: ", [&](RunningProcess&) { failed.arrive([cupsd] { ::kill(cupsd, SIGCONT); }); }},
        };
    });
    ::kill(cupsd, SIGCONT);  // whatever happened above
    for (std::size_t index = 0; index < docks.size(); ++index) {
        SCOPED_TRACE("station " + std::to_string(docks[index].number()));
        EXPECT_EQ(results[index].exitStatus, 1) << lastLines(results[index]);
        EXPECT_EQ(boxes(results[index]), std::vector<std::string>{kCommunicationBox});
        EXPECT_EQ(docks[index].lastIssueResult(), kCommunicationError);
    }
    const auto printed = printedControlNumbers(*server_, server_->tap(kQueue));
    for (const auto& [number, times] : printed) {
        EXPECT_EQ(times, 1) << number;
        EXPECT_TRUE(number.starts_with("ST")) << number;
    }
}

// An IPv4 address of this machine that is not on the loopback interface; empty when it has
// none.
std::string outsideAddress() {
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) return {};
    std::string found;
    for (const ifaddrs* entry = interfaces; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) found = text;
    }
    ::freeifaddrs(interfaces);
    return found;
}

// The status line cupsd answers a plain, unencrypted HTTP request with.
std::string unencryptedAnswer(const std::string& host, int port) {
    const int connection = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &server.sin_addr);
    std::string answer;
    if (::connect(connection, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) {
        const std::string request = "GET /printers/ HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
        [[maybe_unused]] const auto sent = ::send(connection, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[256];
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got > 0) answer.assign(buffer, static_cast<std::size_t>(got));
    }
    ::close(connection);
    return answer.substr(0, answer.find('\r'));
}

// cupsd asks for encryption only of clients that are not on the loopback interface, so the
// station connects through another address of this machine where it has one. Where it has
// none, the station asks for encryption itself (CUPS_ENCRYPTION), which a site can also do.
TEST(EncryptedServer, AStationPrintsThroughAServerThatRequiresEncryption) {
    const std::string address = outsideAddress();
    PrivateCupsd server(CupsdSettings{0, 0, address.empty() ? "127.0.0.1" : address, true});
    if (!server.unavailable().empty()) GTEST_SKIP() << server.unavailable();
    server.addQueue(kQueue, "drv:///sample.drv/zebra.ppd");
    std::string pattern = (fs::temp_directory_path() / "encrypted-XXXXXX").string();
    const fs::path root = ::mkdtemp(pattern.data());
    Station station(root, 1, server.tcpServer(), 5);
    if (address.empty()) {
        station.setEnvironment("CUPS_ENCRYPTION", "Required");
    } else {
        const int port = std::stoi(server.tcpServer().substr(address.size() + 1));
        EXPECT_EQ(unencryptedAnswer(address, port), "HTTP/1.1 426 Upgrade Required") << "cupsd lets plain requests in";
    }
    const ProcessResult result = station.run({});
    EXPECT_EQ(result.exitStatus, 0) << lastLines(result);
    std::map<std::string, int> expected;
    for (int record = 1; record <= 5; ++record) expected[controlNumber(1, record)] = 1;
    EXPECT_EQ(printedControlNumbers(server, server.tap(kQueue)), expected);
    fs::remove_all(root);
}

}  // namespace
