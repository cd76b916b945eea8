// SPDX-License-Identifier: MIT
// What a ZPL printer is sent for each sample job of the three programs: every record of the
// job's sample data in turn, laid out and drawn by the renderer at 203 dpi and encoded as
// the control encodes it (native barcodes, resident-font text, graphics of the rest, what
// repeats stored in the printer). Bytes of the first label (with the job's downloads) and
// of the later ones (their mean and largest), each with the status query that follows it,
// and their seconds on a 9600 baud line with 8 data bits, even parity and one stop bit
// (11 bits a byte); the time is the encoding's, per label. "Z64+font" is the same with a
// Japanese font named in the printer's entry, which takes the Japanese text lines.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "zpl/label_encoder.h"
#include "render/label_renderer.h"
#include "sample_jobs.h"

namespace {

constexpr int kDotsPerInch = 203;
constexpr double kBitsPerByteAt8E1 = 11.0;
constexpr double kBaudRate = 9600.0;
constexpr std::size_t kStatusQueryBytes = 3;  // ~HS after every label

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
};

// The bytes of graphic commands: each runs up to the next command, as their data holds
// neither prefix.
std::size_t graphicBytes(const std::string& zpl) {
    std::size_t bytes = 0;
    for (const std::string_view command : {"~DG", "^GF"}) {
        for (auto at = zpl.find(command); at != std::string::npos; at = zpl.find(command, at + 1)) {
            const auto end = zpl.find_first_of("^~", at + 1);
            bytes += (end == std::string::npos ? zpl.size() : end) - at;
        }
    }
    return bytes;
}

// One job from OpenPort to ClosePort: the bytes of each label.
std::vector<LabelBytes> encodeJob(SampleJob& job, zpl::GraphicCompression compression,
                                  const std::string& japaneseFont) {
    const auto encoder = zpl::makeLabelEncoder({kDotsPerInch, compression, false, japaneseFont});
    std::vector<LabelBytes> bytes;
    for (std::size_t i = 0; i < job.labels.size(); ++i) {
        const std::string zpl = encoder->encodeIssue({job.renderer, job.contents[i], 1, false});
        bytes.push_back({zpl.size() + kStatusQueryBytes, graphicBytes(zpl)});
    }
    benchmark::DoNotOptimize(encoder->endOfJob());
    return bytes;
}

void SampleJobOnZpl(benchmark::State& state, const testing_support::SampleJob& sample,
                    zpl::GraphicCompression compression, const std::string& japaneseFont) {
    SampleJob job = loadJob(sample);
    std::vector<LabelBytes> bytes = encodeJob(job, compression, japaneseFont);  // fonts set up
    for (auto _ : state) {
        bytes = encodeJob(job, compression, japaneseFont);
    }
    const double later = static_cast<double>(bytes.size() - 1);
    double laterMean = 0;
    double laterGraphicsMean = 0;
    double laterMost = 0;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        laterMean += static_cast<double>(bytes[i].all) / later;
        laterGraphicsMean += static_cast<double>(bytes[i].graphics) / later;
        laterMost = std::max(laterMost, static_cast<double>(bytes[i].all));
    }
    const auto labels = static_cast<double>(bytes.size());
    state.counters["labels"] = labels;
    state.counters["first_bytes"] = static_cast<double>(bytes.front().all);
    state.counters["later_mean_bytes"] = laterMean;
    state.counters["later_mean_graphic_bytes"] = laterGraphicsMean;
    state.counters["later_max_bytes"] = laterMost;
    state.counters["first_s_9600"] = secondsAt9600(static_cast<double>(bytes.front().all));
    state.counters["later_mean_s_9600"] = secondsAt9600(laterMean);
    state.counters["later_max_s_9600"] = secondsAt9600(laterMost);
    // Inverted rate: seconds of encoding per label.
    state.counters["encode_s_per_label"] =
        benchmark::Counter(labels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void registerJobs() {
    for (const testing_support::SampleJob& sample : testing_support::sampleJobs()) {
        benchmark::RegisterBenchmark(("Z64/" + sample.format).c_str(), SampleJobOnZpl, sample,
                                     zpl::GraphicCompression::Z64, std::string())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Hex/" + sample.format).c_str(), SampleJobOnZpl, sample,
                                     zpl::GraphicCompression::Hex, std::string())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Z64+font/" + sample.format).c_str(), SampleJobOnZpl, sample,
                                     zpl::GraphicCompression::Z64, std::string("E:NAME.TTF"))
            ->Unit(benchmark::kMillisecond);
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
