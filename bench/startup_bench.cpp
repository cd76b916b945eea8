// SPDX-License-Identifier: MIT
// Wall time of the goods program from start to its first label and to its exit, for a
// 100-record job in a window (Qt offscreen platform), beside a minimal Qt Widgets program
// that only shows a window and quits. Both run alternately in one process, one machine.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
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

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs until exit; the first write into `watched` (a folder) marks the first issued label.
// The bench sleeps in poll() meanwhile: on a machine of two cores, a bench that polled the
// file in a loop would take one core from the program it measures.
Timing timeRun(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
               const fs::path& watched = {}) {
    Timing timing;
    const int written = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (!watched.empty()) ::inotify_add_watch(written, watched.c_str(), IN_MODIFY);
    const auto start = Clock::now();
    const pid_t pid = spawn(arguments, environment);
    const int exited = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const auto deadline = start + std::chrono::seconds(30);  // a message box would wait forever
    for (bool running = true; running;) {
        pollfd events[] = {{exited, POLLIN, 0}, {written, POLLIN, 0}};
        if (::poll(events, timing.firstLabelMs == 0 ? 2 : 1, 1000) < 0 || Clock::now() > deadline) ::kill(pid, SIGKILL);
        if ((events[1].revents & POLLIN) != 0) timing.firstLabelMs = millisecondsSince(start);
        running = (events[0].revents & POLLIN) == 0;
    }
    timing.exitMs = millisecondsSince(start);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(exited);
    ::close(written);
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
    const fs::path outputFolder = folder.root / "BcpCtrl" / "output";  // the JSON lines, after each label's picture
    const fs::path output = outputFolder / "labels.jsonl";
    const std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen", "HOME=/tmp", "XDG_RUNTIME_DIR=/tmp",
                                               "BCPCTRL_SYSTEM_DIR=" + (folder.root / "BcpCtrl").string()};
    const std::string data = (folder.root / "NYUKA_LOT.DAT").string();
    std::string callerData = data;
    std::replace(callerData.begin(), callerData.end(), '/', '\\');
    const std::vector<std::string> job{MOKUREN_GOODS_PROGRAM, "/LABEL3 /" + callerData + " /DRV /DRV:TEC B-374"};
    const std::vector<std::string> minimal{MINIMAL_QT_PROGRAM};

    std::vector<double> firstLabelMs;
    std::vector<double> exitMs;
    std::vector<double> minimalMs;
    for (auto _ : state) {
        fs::remove(output);
        const Timing run = timeRun(job, environment, outputFolder);
        const Timing yardstick = timeRun(minimal, environment);
        firstLabelMs.push_back(run.firstLabelMs);
        exitMs.push_back(run.exitMs);
        minimalMs.push_back(yardstick.exitMs);
        state.SetIterationTime(run.exitMs / 1000.0);
    }
    // Medians: on a shared virtual machine a few runs take twice as long.
    state.counters["first_label_ms"] = median(firstLabelMs);
    state.counters["exit_ms"] = median(exitMs);
    state.counters["minimal_qt_ms"] = median(minimalMs);
    state.counters["exit_ratio"] = median(exitMs) / median(minimalMs);
    state.counters["first_label_ratio"] = median(firstLabelMs) / median(minimalMs);
}
// Argument 1: the labels are drawn (PNG pictures); 0: JSON lines only.
BENCHMARK(BM_GoodsStartupBesideMinimalQt)->Arg(0)->Arg(1)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
