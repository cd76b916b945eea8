// SPDX-License-Identifier: MIT
// Wall time of the goods program from start to its first label and to its exit, for a
// 100-record job in a window (Qt offscreen platform), beside a minimal Qt Widgets program
// that only shows a window and quits. Both run alternately in one process, one machine.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Timing {
    double firstLabelMs = 0;
    double exitMs = 0;
};

pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs until exit; `firstLabel` is the file whose first byte marks the first issued label.
Timing timeRun(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
               const fs::path& firstLabel = {}) {
    Timing timing;
    const auto start = Clock::now();
    const pid_t pid = spawn(arguments, environment);
    int status = 0;
    const auto deadline = start + std::chrono::seconds(30);  // a message box would wait forever
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) ::kill(pid, SIGKILL);
        if (timing.firstLabelMs == 0 && !firstLabel.empty() && fs::exists(firstLabel) && fs::file_size(firstLabel) > 0) {
            timing.firstLabelMs = millisecondsSince(start);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    timing.exitMs = millisecondsSince(start);
    if (timing.firstLabelMs == 0) timing.firstLabelMs = timing.exitMs;
    return timing;
}

// With `pictures`, the virtual printer draws every label to a PNG before its JSON line.
struct JobFolder {
    fs::path root = fs::temp_directory_path() / ("startup-bench-" + std::to_string(::getpid()));
    explicit JobFolder(bool pictures) {
        fs::create_directories(root / "BcpCtrl" / "output");
        fs::copy(fs::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "formats", root / "BcpCtrl" / "formats");
        std::ofstream(root / "BcpCtrl" / "printers.json")
            << R"({"printers": {"TEC B-374": {"type": "virtual", "output": "output/labels.jsonl")"
            << (pictures ? R"(, "images": "output/images")" : "") << "}}}";
        std::ofstream data(root / "NYUKA_LOT.DAT", std::ios::binary);
        for (int i = 1; i <= 100; ++i) {
            // Lot, product (CP932 ケース), JAN, dates, quantity, supplier, place (CP932 倉庫1), remarks.
            data << "LOT" << i << ",\x83\x50\x81\x5b\x83\x58,4901234567894,2026/12/07,2027/06/30,12,A-01,"
                 << "\x91\x71\x8c\xc9\x31,-\r\n";
        }
    }
    ~JobFolder() { fs::remove_all(root); }
};

void BM_GoodsStartupBesideMinimalQt(benchmark::State& state) {
    const JobFolder folder(state.range(0) != 0);
    const fs::path output = folder.root / "BcpCtrl" / "output" / "labels.jsonl";
    const std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen", "HOME=/tmp", "XDG_RUNTIME_DIR=/tmp",
                                               "BCPCTRL_SYSTEM_DIR=" + (folder.root / "BcpCtrl").string()};
    const std::string data = (folder.root / "NYUKA_LOT.DAT").string();
    std::string callerData = data;
    std::replace(callerData.begin(), callerData.end(), '/', '\\');
    const std::vector<std::string> job{MOKUREN_GOODS_PROGRAM, "/LABEL3 /" + callerData + " /DRV /DRV:TEC B-374"};
    const std::vector<std::string> minimal{MINIMAL_QT_PROGRAM};

    Timing goods;
    double minimalMs = 0;
    for (auto _ : state) {
        fs::remove(output);
        const Timing run = timeRun(job, environment, output);
        const Timing yardstick = timeRun(minimal, environment);
        goods.firstLabelMs += run.firstLabelMs;
        goods.exitMs += run.exitMs;
        minimalMs += yardstick.exitMs;
        state.SetIterationTime(run.exitMs / 1000.0);
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["first_label_ms"] = goods.firstLabelMs / runs;
    state.counters["exit_ms"] = goods.exitMs / runs;
    state.counters["minimal_qt_ms"] = minimalMs / runs;
    state.counters["exit_ratio"] = goods.exitMs / minimalMs;
    state.counters["first_label_ratio"] = goods.firstLabelMs / minimalMs;
}
// Argument 1: the labels are drawn (PNG pictures); 0: JSON lines only.
BENCHMARK(BM_GoodsStartupBesideMinimalQt)->Arg(0)->Arg(1)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
