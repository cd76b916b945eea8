// SPDX-License-Identifier: MIT
// Our control inside the issue loop, with its call log off, beside the same job with a
// control that does nothing; and the cost of one label against the number of fields in
// its format, which must grow in proportion.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bcpctrl/bcp_ctrl.h"
#include "frame/issuing_form.h"
#include "goods/goods_edition.h"
#include "null_job_parts.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 30000;

// A system directory whose printer writes to /dev/null, and a receiving data file.
struct Folder {
    fs::path root = fs::temp_directory_path() / ("control-bench-" + std::to_string(::getpid()));
    Folder() {
        fs::create_directories(root / "formats");
        fs::copy_file(fs::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "formats" / "LABEL1.json",
                      root / "formats" / "LABEL1.json");
        std::ofstream(root / "printers.json")
            << R"({"printers": {"TEC B-374": {"type": "virtual", "output": "/dev/null"}}})";
        std::ofstream data(root / "NYUKA.DAT", std::ios::binary);
        for (int i = 1; i <= kRecords; ++i) {
            data << i;
            for (int field = 2; field <= 24; ++field) {
                data << (field % 2 == 0 ? ",\x83\x8c\x83\x82\x83\x93" : ",4901234567894");  // レモン
            }
            data << "\r\n";
        }
    }
    ~Folder() { fs::remove_all(root); }
    bcpctrl::BcpCtrlOptions options() const {
        const std::string directory = root.string();
        bcpctrl::BcpCtrlOptions options;
        options.environment = [directory](const std::string& name) -> std::optional<std::string> {
            if (name == bcpctrl::kSystemDirVariable) return directory;
            return std::nullopt;  // no call log
        };
        return options;
    }
    std::string jobLine() const {
        std::string data = (root / "NYUKA.DAT").string();
        std::replace(data.begin(), data.end(), '/', '\\');
        return "/LABEL1 /" + data + " /DRV /DRV:TEC B-374";
    }
};

using bench_support::NullControl;
using bench_support::NullWindow;

double secondsOfJob(frame::BcpControl& control, const std::string& line, benchmark::State& state) {
    const auto start = Clock::now();
    NullWindow window;
    frame::IssuingForm form(goods::kGoodsEdition, window, control);
    form.Form_Load(line);
    form.Form_Activate();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (form.state().IssuedCount != kRecords) state.SkipWithError("not every record was issued");
    return seconds;
}

// Yardstick: the same job with a control that does nothing, timed alternately.
void BM_IssueLabelsWithOurControl(benchmark::State& state) {
    const Folder folder;
    const std::string line = folder.jobLine();
    double ours = 0;
    double yardstick = 0;
    for (auto _ : state) {
        bcpctrl::BcpCtrl control(folder.options());
        const double seconds = secondsOfJob(control, line, state);
        NullControl nothing;
        yardstick += secondsOfJob(nothing, line, state);
        ours += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["ratio_to_null_control"] = ours / yardstick;
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kRecords),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IssueLabelsWithOurControl)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// One label of a format with n text fields, every field set: SetField n times, then Issue.
void BM_LabelOfNFields(benchmark::State& state) {
    const Folder folder;
    const auto fields = static_cast<int>(state.range(0));
    {
        std::ofstream format(folder.root / "formats" / "WIDE.json");
        format << R"({"usePrinter": 1, "label": {"widthMm": 100, "heightMm": 100}, "fields": [)";
        for (int number = 1; number <= fields; ++number) {
            format << (number > 1 ? "," : "") << R"({"number": )" << number
                   << R"(, "type": "text", "xMm": 0, "yMm": 0, "widthMm": 1, "heightMm": 1, "rotation": 0})";
        }
        format << "]}";
    }
    bcpctrl::BcpCtrl control(folder.options());
    frame::ResultCode result = 0;
    std::string name = "WIDE";
    std::int16_t port = frame::kPortCodeDriver;
    control.setUsePrinter(1);
    control.setPortSetting("DRV:TEC B-374");
    if (!frame::isTrue(control.LoadFormat(name, result)) || !frame::isTrue(control.OpenPort(port, result))) {
        state.SkipWithError("the wide format did not load");
        return;
    }
    std::string text = "4901234567894";
    std::string status;
    for (auto _ : state) {
        for (int number = 1; number <= fields; ++number) {
            control.SetField(static_cast<std::int16_t>(number), text, result);
        }
        control.Issue(1, 0, status, result);
    }
    state.SetComplexityN(fields);
}
BENCHMARK(BM_LabelOfNFields)->RangeMultiplier(4)->Range(512, 32767)->Complexity()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
