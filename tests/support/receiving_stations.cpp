// SPDX-License-Identifier: MIT
#include "receiving_stations.h"

#include <cstdio>
#include <fstream>
#include <thread>

namespace testing_support {
namespace fs = std::filesystem;

namespace {

// The sample's first receiving record, its control number (the last field) made the
// station's own, once for every record.
std::string stationData(const fs::path& samples, int station, int records) {
    std::ifstream sample(samples / "DATA" / "NYUKA.DAT", std::ios::binary);
    std::string first;
    std::getline(sample, first);  // CP932 up to the LF of its CRLF
    const std::string fields = first.substr(0, first.rfind(',') + 1);
    std::string data;
    for (int record = 1; record <= records; ++record) data += fields + controlNumber(station, record) + "\r\n";
    return data;
}

}  // namespace

std::string controlNumber(int station, int record) {
    char text[32];
    std::snprintf(text, sizeof text, "ST%d-%04d", station, record);
    return text;
}

ReceivingStation::ReceivingStation(const fs::path& root, int number, const std::string& server, int records,
                                   const fs::path& samples, std::string program)
    : number_(number), folder_(root / ("station-" + std::to_string(number))), program_(std::move(program)) {
    fs::create_directories(folder_ / "DATA");
    fs::create_directories(folder_ / "BcpCtrl");
    fs::copy(samples / "BcpCtrl" / "formats", folder_ / "BcpCtrl" / "formats");
    std::ofstream(folder_ / "DATA" / "NYUKA.DAT", std::ios::binary) << stationData(samples, number, records);
    const bool listed = number % 2 == 0;
    if (listed) {
        std::ofstream(folder_ / "BcpCtrl" / "printers.json")
            << R"({"printers": {")" << kDockPrinter << R"(": {"type": "cups", "queue": ")" << kDockQueue
            << R"(", "server": ")" << server << R"("}}})";
    }
    environment_ = {{"BCPCTRL_SYSTEM_DIR", (folder_ / "BcpCtrl").string()},
                    {"BCPCTRL_TRACE", (folder_ / "trace.jsonl").string()},
                    {"BCPCTRL_OUTPUT_DIR", std::nullopt},
                    {"HOME", folder_.string()},  // libcups keeps the servers' certificates there
                    {"CUPS_SERVER", listed ? std::nullopt : std::optional<std::string>(server)},
                    {"DISPLAY", std::nullopt},
                    {"WAYLAND_DISPLAY", std::nullopt},
                    {"QT_QPA_PLATFORM", std::nullopt}};
}

ProcessResult ReceivingStation::run(std::vector<Interaction> interactions) const {
    ProcessRequest request;
    request.argv = {program_, std::string("/LABEL1 /DATA\\NYUKA.DAT /DRV /DRV:") + kDockPrinter};
    request.environment = environment_;
    request.workingDirectory = folder_.string();
    request.interactions = std::move(interactions);
    request.timeout = std::chrono::seconds(120);
    return runProcess(request);
}

std::vector<ProcessResult> runAtOnce(const std::vector<ReceivingStation>& stations,
                                     const std::function<std::vector<Interaction>()>& interactions) {
    std::vector<ProcessResult> results(stations.size());
    std::vector<std::jthread> running;
    for (std::size_t index = 0; index < stations.size(); ++index) {
        running.emplace_back([&, index] { results[index] = stations[index].run(interactions()); });
    }
    running.clear();  // joins every station
    return results;
}

}  // namespace testing_support
