// SPDX-License-Identifier: MIT
// What a ZPL printer is sent for each sample job of the three programs: every record of the
// job's sample data in turn, laid out and drawn by the renderer at 203 or 300 dpi and
// encoded as the control encodes it (the renderer's glyphs as fonts of the printer, native
// barcodes, what every label shows stored in the printer). Bytes of the first label (with
// the job's downloads) and of the later ones (their mean and largest), each with the status
// query that follows it, and their seconds on a 9600 baud line with 8 data bits, even
// parity and one stop bit (11 bits a byte); "long_" the same records in the last round of a
// job of about 300 labels that goes through them again and again, when the printer has
// their glyphs (what a long job of like records comes to); the time is the encoding's, per
// label.
// "Pictures" sends text as pictures of its lines (a printer with little memory), "Hex" has
// no Z64 compression, "Font" a Japanese font named in the printer's entry.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>

#include "zpl/label_encoder.h"
#include "render/label_renderer.h"
#include "sample_jobs.h"

namespace {

constexpr double kBitsPerByteAt8E1 = 11.0;
constexpr double kBaudRate = 9600.0;
constexpr std::size_t kStatusQueryBytes = 3;  // ~HS after every label
constexpr std::size_t kLongJobLabels = 300;

double secondsAt9600(double bytes) { return bytes * kBitsPerByteAt8E1 / kBaudRate; }

struct SampleJob {
    labelformat::LabelFormat format;
    std::vector<labelformat::FieldValues> labels;
    render::LabelRenderer renderer;
    std::vector<render::LabelContent> contents;
};

SampleJob loadJob(const testing_support::SampleJob& sample) {
    labelformat::LabelFormat format = testing_support::sampleFormat(sample);
    auto labels = testing_support::sampleLabels(sample, format);
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    std::vector<render::LabelContent> contents;
    for (const auto& values : labels) contents.push_back(renderer.content(values).value());
    return {std::move(format), std::move(labels), std::move(renderer), std::move(contents)};
}

struct LabelBytes {
    std::size_t all = 0;       // with the status query that follows the label
    std::size_t graphics = 0;  // graphic downloads (~DG) and graphic fields (^GF): their commands and data
    std::size_t fonts = 0;     // font downloads (~DB)
};

// The bytes of these commands: each runs up to the next command, as their data holds
// neither prefix.
std::size_t commandBytes(const std::string& zpl, std::initializer_list<std::string_view> commands) {
    std::size_t bytes = 0;
    for (const std::string_view command : commands) {
        for (auto at = zpl.find(command); at != std::string::npos; at = zpl.find(command, at + 1)) {
            const auto end = zpl.find_first_of("^~", at + 1);
            bytes += (end == std::string::npos ? zpl.size() : end) - at;
        }
    }
    return bytes;
}

// One job from OpenPort to ClosePort, its records round after round up to about 300
// labels: the bytes of each label.
std::vector<LabelBytes> encodeJob(SampleJob& job, const zpl::EncoderSettings& settings) {
    const auto encoder = zpl::makeLabelEncoder(settings);
    std::vector<LabelBytes> bytes;
    for (std::size_t round = 0; round < kLongJobLabels / job.labels.size(); ++round) {
        for (std::size_t i = 0; i < job.labels.size(); ++i) {
            const std::string zpl = encoder->encodeIssue({job.renderer, job.contents[i], 1, false});
            bytes.push_back({zpl.size() + kStatusQueryBytes, commandBytes(zpl, {"~DG", "^GF"}), commandBytes(zpl, {"~DB"})});
        }
    }
    benchmark::DoNotOptimize(encoder->endOfJob());
    return bytes;
}

struct Spread {
    double mean = 0;
    double most = 0;
    double graphicsMean = 0;
    double fontsMean = 0;
};

Spread spreadOf(const std::vector<LabelBytes>& bytes, std::size_t first, std::size_t end) {
    Spread spread;
    const auto count = static_cast<double>(end - first);
    for (std::size_t i = first; i < end; ++i) {
        spread.mean += static_cast<double>(bytes[i].all) / count;
        spread.graphicsMean += static_cast<double>(bytes[i].graphics) / count;
        spread.fontsMean += static_cast<double>(bytes[i].fonts) / count;
        spread.most = std::max(spread.most, static_cast<double>(bytes[i].all));
    }
    return spread;
}

void SampleJobOnZpl(benchmark::State& state, const testing_support::SampleJob& sample, const zpl::EncoderSettings& settings) {
    SampleJob job = loadJob(sample);
    std::vector<LabelBytes> bytes = encodeJob(job, settings);  // fonts set up
    for (auto _ : state) {
        bytes = encodeJob(job, settings);
    }
    const std::size_t records = job.labels.size();
    const Spread later = spreadOf(bytes, 1, records);
    const Spread longJob = spreadOf(bytes, bytes.size() - records, bytes.size());
    state.counters["labels"] = static_cast<double>(records);
    state.counters["first_bytes"] = static_cast<double>(bytes.front().all);
    state.counters["later_mean_bytes"] = later.mean;
    state.counters["later_mean_graphic_bytes"] = later.graphicsMean;
    state.counters["later_mean_font_bytes"] = later.fontsMean;
    state.counters["later_max_bytes"] = later.most;
    state.counters["long_mean_bytes"] = longJob.mean;
    state.counters["long_max_bytes"] = longJob.most;
    state.counters["first_s_9600"] = secondsAt9600(static_cast<double>(bytes.front().all));
    state.counters["later_mean_s_9600"] = secondsAt9600(later.mean);
    state.counters["later_max_s_9600"] = secondsAt9600(later.most);
    // Inverted rate: seconds of encoding per label.
    state.counters["encode_s_per_label"] = benchmark::Counter(static_cast<double>(bytes.size()),
                                                              benchmark::Counter::kIsIterationInvariantRate |
                                                                  benchmark::Counter::kInvert);
}

void registerJobs() {
    using zpl::GraphicCompression;
    for (const int dotsPerInch : {203, 300}) {
        const std::map<std::string, zpl::EncoderSettings> ways{
            {"Glyphs", {dotsPerInch, GraphicCompression::Z64, false, "", true}},
            {"Pictures", {dotsPerInch, GraphicCompression::Z64, false, "", false}},
            {"Hex", {dotsPerInch, GraphicCompression::Hex, false, "", true}},
            {"Font", {dotsPerInch, GraphicCompression::Z64, false, "E:NAME.TTF", true}},
        };
        for (const testing_support::SampleJob& sample : testing_support::sampleJobs()) {
            for (const auto& [way, settings] : ways) {
                const std::string name = way + "/" + sample.format + "/" + std::to_string(dotsPerInch);
                benchmark::RegisterBenchmark(name.c_str(), SampleJobOnZpl, sample, settings)->Unit(benchmark::kMillisecond);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerJobs();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
