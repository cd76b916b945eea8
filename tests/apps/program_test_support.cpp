// SPDX-License-Identifier: MIT
#include "program_test_support.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace testing_support {
namespace fs = std::filesystem;

namespace {

std::vector<nlohmann::json> jsonLines(const fs::path& path) {
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

nlohmann::json merged(const std::string& base, const std::string& overrides) {
    nlohmann::json entry = nlohmann::json::parse(base);
    entry.merge_patch(nlohmann::json::parse(overrides));
    return entry;
}

}  // namespace

std::string programPath(const std::string& name) { return std::string(MOKUREN_PROGRAM_DIR) + "/" + name; }
fs::path samplesDir() { return MOKUREN_SAMPLES_DIR; }

ProgramRun::ProgramRun() {
    static int counter = 0;
    folder = fs::temp_directory_path() /
             ("program-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    systemDir = folder / "BcpCtrl";
    fs::create_directories(systemDir / "output");
    fs::create_directories(folder / "DATA");
    fs::copy(samplesDir() / "BcpCtrl" / "formats", systemDir / "formats");
    writePrinterList();
}

ProgramRun::~ProgramRun() { fs::remove_all(folder); }

void ProgramRun::writePrinterList(const std::string& printerEntry, const std::string& serialEntry) {
    const std::string base = R"({"type": "virtual", "output": "output/labels.jsonl"})";
    nlohmann::json list;
    list["printers"]["TEC B-374"] = merged(base, printerEntry);
    list["serialPorts"]["COM1"] = merged(base, serialEntry);
    std::ofstream(systemDir / "printers.json") << list.dump(2);
}

std::string ProgramRun::sampleData(const std::string& name) {
    fs::copy_file(samplesDir() / "DATA" / name, folder / "DATA" / name, fs::copy_options::overwrite_existing);
    return "DATA\\" + name;
}

std::string ProgramRun::writeData(const std::string& name, const std::string& bytes) {
    std::ofstream(folder / "DATA" / name, std::ios::binary) << bytes;
    return "DATA\\" + name;
}

ProcessResult ProgramRun::run(const std::string& program, const std::vector<std::string>& arguments,
                              std::vector<Interaction> interactions, bool windowed,
                              const std::function<void(ProcessRequest&)>& adjust) {
    ProcessRequest request;
    request.argv.push_back(programPath(program));
    request.argv.insert(request.argv.end(), arguments.begin(), arguments.end());
    request.workingDirectory = folder.string();
    request.environment = {
        {"BCPCTRL_SYSTEM_DIR", systemDir.string()},
        {"BCPCTRL_TRACE", (folder / "trace.jsonl").string()},
        {"BCPCTRL_OUTPUT_DIR", std::nullopt},
        {"DISPLAY", std::nullopt},
        {"WAYLAND_DISPLAY", std::nullopt},
        {"QT_QPA_PLATFORM", windowed ? std::optional<std::string>("offscreen") : std::nullopt},
    };
    for (const auto& [name, value] : environment) request.environment.insert_or_assign(name, value);
    request.interactions = std::move(interactions);
    if (adjust) adjust(request);
    ProcessResult result = runProcess(request);
    EXPECT_FALSE(result.timedOut);
    return result;
}

std::vector<nlohmann::json> ProgramRun::trace() const { return jsonLines(folder / "trace.jsonl"); }
std::vector<nlohmann::json> ProgramRun::labels() const { return jsonLines(systemDir / "output" / "labels.jsonl"); }

std::vector<std::string> ProgramRun::traceOps() const {
    std::vector<std::string> ops;
    for (const auto& line : trace()) ops.push_back(line.at("op").get<std::string>());
    return ops;
}

std::vector<std::string> ProgramRun::boxes(const ProcessResult& result) {
    std::vector<std::string> found;
    for (const auto& line : result.errorLines) {
        if (line.rfind("box: ", 0) == 0) found.push_back(line);
    }
    return found;
}

}  // namespace testing_support
