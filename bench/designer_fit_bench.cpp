// SPDX-License-Identifier: MIT
// The designer's fit check over a receiving data file of 3,000 records (LABEL1 at 203 dpi):
// every record with a product name, JAN and control number of its own, so that each
// record lays out new text and reads two new barcodes back, the worst case; and the same
// file's twelve sample records repeated, where values repeat as they do in real files.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "designer/fit_check.h"
#include "designer/record_source.h"

namespace {

constexpr int kRecords = 3000;

std::filesystem::path samples() { return MOKUREN_SAMPLES_DIR; }

std::vector<std::vector<std::string>> sampleRecords() {
    std::ifstream stream(samples() / "DATA" / "NYUKA.DAT", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    std::vector<std::vector<std::string>> records;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (const char c : text.substr(at, end - at)) {
            if (c == '"') quoted = !quoted;
            if (c == ',' && !quoted) {
                fields.emplace_back();
            } else {
                fields.back() += c;
            }
        }
        records.push_back(std::move(fields));
        at = end + 2;
    }
    return records;
}

std::string withCheckDigit(std::string twelveDigits) {
    int sum = 0;
    for (std::size_t i = 0; i < twelveDigits.size(); ++i) sum += (twelveDigits[i] - '0') * (i % 2 == 0 ? 1 : 3);
    return twelveDigits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// NYUKA.DAT positions: 7 product name, 21 JAN, 24 control number.
std::filesystem::path writeDataFile(bool distinct) {
    const auto records = sampleRecords();
    const auto file = std::filesystem::temp_directory_path() /
                      ("designer-fit-bench-" + std::to_string(::getpid()) + (distinct ? "-distinct" : "-repeated") + ".DAT");
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < kRecords; ++i) {
        auto record = records[static_cast<std::size_t>(i) % records.size()];
        if (distinct) {
            record[6] += " " + std::to_string(i);
            record[20] = withCheckDigit("45711" + std::to_string(1000000 + i));
            record[23] = "N2612-" + std::to_string(100000 + i);
        }
        for (std::size_t f = 0; f < record.size(); ++f) out << (f > 0 ? "," : "") << record[f];
        out << "\r\n";
    }
    return file;
}

void fitCheck(benchmark::State& state, bool distinct, bool readBack) {
    const auto data = writeDataFile(distinct);
    const auto format = labelformat::readLabelFormatFile(samples() / "BcpCtrl" / "formats" / "LABEL1.json").value();
    auto fonts = render::Fonts::loadWhenNeeded();
    auto warmUp = std::move(designer::LabelChecker::create(format, fonts).value());
    benchmark::DoNotOptimize(warmUp.proof({}).picture.widthDots);  // the fonts set up
    auto source = std::get<designer::RecordSource>(designer::RecordSource::open(data, *designer::findDataKindChoice("NYUKA.DAT")));
    std::int64_t records = 0;
    for (auto _ : state) {
        // A checker of its own each time: nothing of the last run's layouts is kept.
        auto fresh = std::move(designer::LabelChecker::create(format, fonts).value());
        const auto report = designer::checkFit(fresh, source, {{203, readBack}, {}});
        records += report.recordsChecked;
        benchmark::DoNotOptimize(report.fields.size());
    }
    state.counters["records"] = static_cast<double>(source.size());
    state.counters["records_per_s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
    std::filesystem::remove(data);
}

void BM_FitCheckDistinctValues(benchmark::State& state) { fitCheck(state, true, true); }
void BM_FitCheckDistinctValuesWithoutReadBack(benchmark::State& state) { fitCheck(state, true, false); }
void BM_FitCheckRepeatedValues(benchmark::State& state) { fitCheck(state, false, true); }

BENCHMARK(BM_FitCheckDistinctValues)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FitCheckDistinctValuesWithoutReadBack)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FitCheckRepeatedValues)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
