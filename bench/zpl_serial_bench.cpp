// SPDX-License-Identifier: MIT
// A long serial job on a ZPL printer: the receiving job's sample records over and over,
// 300 labels, through the control to zpl-printer-sim on a pty at 9600 baud with XON/XOFF,
// status queries after every label and the events delivered as a job does. Its time from
// OpenPort to the last label confirmed printed, against the time a 9600 baud line at 8E1
// (11 bits a byte) needs for the bytes of the same labels and their status queries: the
// job keeps pace with the line when the two are about the same. The bytes are those the
// encoder gives for the same labels (its font and graphic names aside, which are as long).
// One run takes minutes; run it alone: build/default/bench/zpl_serial_bench.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bcpctrl/bcp_ctrl.h"
#include "printer_simulator.h"
#include "render/label_renderer.h"
#include "sample_jobs.h"
#include "zpl/label_encoder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLabels = 300;
constexpr int kBaudRate = 9600;
constexpr double kBitsPerByte = 11.0;  // 8E1: start, 8 data, parity, stop
constexpr std::size_t kStatusQueryBytes = 3;
constexpr auto kLastConfirmation = std::chrono::seconds(60);

// The bytes of the job's labels as the encoder sends them, with a status query each.
std::size_t bytesOfJob(const testing_support::SampleJob& job) {
    const auto format = testing_support::sampleFormat(job);
    const auto records = testing_support::sampleLabels(job, format);
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    const auto encoder = zpl::makeLabelEncoder({});
    std::size_t bytes = 0;
    for (int label = 0; label < kLabels; ++label) {
        const auto content = renderer.content(records[static_cast<std::size_t>(label) % records.size()]).value();
        bytes += encoder->encodeIssue({renderer, content, 1, false}).size() + kStatusQueryBytes;
    }
    return bytes + encoder->endOfJob().size();
}

void SerialJobAt9600(benchmark::State& state, const testing_support::SampleJob& job) {
    const fs::path root = fs::temp_directory_path() / ("zpl-serial-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "formats");
    fs::copy_file(testing_support::sampleFormatFile(job), root / "formats" / (job.format + ".json"),
                  fs::copy_options::overwrite_existing);
    const double lineSeconds = static_cast<double>(bytesOfJob(job)) * kBitsPerByte / kBaudRate;
    const auto format = testing_support::sampleFormat(job);
    const auto records = testing_support::sampleLabels(job, format);
    double jobSeconds = 0;
    for (auto _ : state) {
        testing_support::PrinterSimulator printer({"--pty", "--baud", std::to_string(kBaudRate), "--flow", "xonxoff"},
                                                  root / "printer");
        if (!printer.started()) return state.SkipWithError("zpl-printer-sim did not start");
        std::ofstream(root / "printers.json") << R"({"serialPorts": {"COM1": {"type": "zpl", "device": ")" +
                                                      printer.address() + R"(", "flowControl": "xonxoff"}}})";
        bcpctrl::BcpCtrlOptions options;
        const std::string directory = root.string();
        options.environment = [directory](const std::string& name) -> std::optional<std::string> {
            if (name == bcpctrl::kSystemDirVariable) return directory;
            return std::nullopt;
        };
        bcpctrl::BcpCtrl control(options);
        long printed = 0;
        control.connectOnStatus([&](const std::string& status, frame::ResultCode) { printed += status == "40" ? 1 : 0; });
        frame::ResultCode result = 0;
        control.setUsePrinter(1);
        control.setPortSetting("COM1:9600,E,8,1");
        std::string name = job.format;
        control.LoadFormat(name, result);
        std::int16_t port = frame::kPortCodeSerial;
        const auto start = Clock::now();
        control.OpenPort(port, result);
        if (result != 0) return state.SkipWithError("the port did not open");
        for (int label = 0; label < kLabels; ++label) {
            for (auto [number, text] : records[static_cast<std::size_t>(label) % records.size()]) control.SetField(number, text, result);
            std::string status;
            control.Issue(1, 0, status, result);
            control.deliverPendingEvents();
        }
        const auto deadline = Clock::now() + kLastConfirmation;
        while (printed < kLabels && Clock::now() < deadline) {
            control.deliverPendingEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        control.ClosePort(result);
        jobSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (printed < kLabels) state.SkipWithError("not every label was confirmed printed");
    }
    fs::remove_all(root);
    state.counters["labels"] = kLabels;
    state.counters["line_s"] = lineSeconds;
    state.counters["job_s"] = jobSeconds;
    state.counters["job_to_line"] = jobSeconds / lineSeconds;
}

}  // namespace

int main(int argc, char** argv) {
    for (const testing_support::SampleJob& job : testing_support::sampleJobs()) {
        benchmark::RegisterBenchmark(("SerialJobAt9600/" + job.format).c_str(), SerialJobAt9600, job)
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
