// SPDX-License-Identifier: MIT
// Records per second through the issue loop with a control that does nothing, and the
// field reader's throughput on ASCII and on Japanese CP932 text. Each is reported as a
// ratio to a yardstick timed alternately with it in the same run, which holds across
// machines where absolute figures do not: iconv alone over the same bytes for the reader,
// the field reader alone over the same file for the issue loop.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "frame/field_reader.h"
#include "frame/issuing_form.h"
#include "goods/goods_edition.h"
#include "null_job_parts.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 30000;
constexpr int kReceivingFields = 24;

using bench_support::NullControl;
using bench_support::NullWindow;

// A receiving record in CP932: product names, JAN codes, quantities and dates.
std::string receivingRecord(int number) {
    const std::string name = "\x83\x8c\x83\x82\x83\x93\x83\x5c\x81\x5b\x83\x5f";  // レモンソーダ
    std::string line = std::to_string(number);
    for (int field = 2; field <= kReceivingFields; ++field) {
        line += ',';
        if (field % 4 == 0) {
            line += name;
        } else if (field % 4 == 1) {
            line += "4901234567894";
        } else if (field % 4 == 2) {
            line += "2026/12/07";
        } else {
            line += "\"1,200\"";
        }
    }
    return line + "\r\n";
}

// The benchmark data lives for the whole run; paths use "\" as a caller writes them.
const fs::path& receivingFile() {
    static const fs::path path = [] {
        const fs::path file = fs::temp_directory_path() / ("bench-" + std::to_string(::getpid())) / "NYUKA.DAT";
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        for (int i = 1; i <= kRecords; ++i) out << receivingRecord(i);
        return file;
    }();
    return path;
}

std::string callerPath(const fs::path& path) {
    std::string text = path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

using Clock = std::chrono::steady_clock;

template <typename Work>
double secondsOf(Work&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void readAllFields(const fs::path& file) {
    auto reader = frame::FieldReader::open(file.string());
    std::string text;
    while (!reader->atEnd()) {
        reader->readField(text);
        benchmark::DoNotOptimize(text.data());
    }
}

// CP932 to UTF-8 of the whole file in memory, the conversion the reader cannot do without.
void convertWithIconvAlone(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    std::string out(64 * 1024 * 3, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        const std::size_t chunk = std::min<std::size_t>(inLeft, 64 * 1024);
        std::size_t chunkLeft = chunk;
        char* outAt = out.data();
        std::size_t outLeft = out.size();
        iconv(cd, &in, &chunkLeft, &outAt, &outLeft);
        benchmark::DoNotOptimize(out.data());
        inLeft -= chunk - chunkLeft;
        if (chunkLeft == chunk) break;  // a character cut at the chunk's end: never in these files
    }
    iconv_close(cd);
}

// Times `measured` and `yardstick` alternately; the iteration time is the measured one.
template <typename Measured, typename Yardstick>
void besideYardstick(benchmark::State& state, Measured&& measured, Yardstick&& yardstick) {
    double measuredSeconds = 0;
    double yardstickSeconds = 0;
    for (auto _ : state) {
        const double seconds = secondsOf(measured);
        measuredSeconds += seconds;
        yardstickSeconds += secondsOf(yardstick);
        state.SetIterationTime(seconds);
    }
    state.counters["ratio_to_yardstick"] = measuredSeconds / yardstickSeconds;
    state.counters["yardstick_ms"] = yardstickSeconds * 1000 / static_cast<double>(state.iterations());
}

void runReceivingJob(benchmark::State& state) {
    static const std::string line = "/LABEL1 /" + callerPath(receivingFile()) + " /DRV /DRV:TEC B-374";
    NullControl control;
    NullWindow window;
    frame::IssuingForm form(goods::kGoodsEdition, window, control);
    form.Form_Load(line);
    form.Form_Activate();
    if (form.state().IssuedCount != kRecords) state.SkipWithError("not every record was issued");
}

// Yardstick: the field reader alone over the same file, the least any job must do.
void BM_IssueLabelsReceiving(benchmark::State& state) {
    besideYardstick(state, [&] { runReceivingJob(state); }, [] { readAllFields(receivingFile()); });
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kRecords),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IssueLabelsReceiving)->UseManualTime()->Unit(benchmark::kMillisecond);

void readBesideIconv(benchmark::State& state, const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    besideYardstick(state, [&] { readAllFields(file); }, [&] { convertWithIconvAlone(bytes); });
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void BM_FieldReaderReceiving(benchmark::State& state) { readBesideIconv(state, receivingFile()); }
BENCHMARK(BM_FieldReaderReceiving)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_FieldReaderAsciiOnly(benchmark::State& state) {
    static const fs::path file = [] {
        const fs::path path = receivingFile().parent_path() / "ASCII.DAT";
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kRecords; ++i) out << "4901234567894,2026/12/07,\"1,200\",LEMON SODA 500ML,12\r\n";
        return path;
    }();
    readBesideIconv(state, file);
}
BENCHMARK(BM_FieldReaderAsciiOnly)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(receivingFile().parent_path());
    return 0;
}
