// SPDX-License-Identifier: MIT
// What a ZPL printer is sent for each sample job of the three programs: every record of the
// job's sample data in turn, laid out and drawn by the renderer at 203 dpi and encoded as
// the control encodes it (native barcodes, resident-font text, graphics of the rest, what
// repeats stored in the printer). Bytes of the first label (with the job's downloads) and
// of the later ones (their mean and largest), each with the status query that follows it,
// and their seconds on a 9600 baud line with 8 data bits, even parity and one stop bit
// (11 bits a byte); the time is the encoding's, per label.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bcpctrl/zpl_label_encoder.h"
#include "render/label_renderer.h"
#include "sample_jobs.h"

namespace {

constexpr int kDotsPerInch = 203;
constexpr double kBitsPerByteAt8E1 = 11.0;
constexpr double kBaudRate = 9600.0;
constexpr std::size_t kStatusQueryBytes = 3;  // ~HS after every label

double secondsAt9600(double bytes) { return bytes * kBitsPerByteAt8E1 / kBaudRate; }

struct SampleJob {
    bcpctrl::LabelFormat format;
    std::vector<bcpctrl::FieldValues> labels;
    render::LabelRenderer renderer;
    std::vector<render::LabelContent> contents;
};

SampleJob loadJob(const testing_support::SampleJob& sample) {
    bcpctrl::LabelFormat format = testing_support::sampleFormat(sample);
    auto labels = testing_support::sampleLabels(sample, format);
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    std::vector<render::LabelContent> contents;
    for (const auto& values : labels) contents.push_back(renderer.content(values).value());
    return {std::move(format), std::move(labels), std::move(renderer), std::move(contents)};
}

// One job from OpenPort to ClosePort: the bytes of each label.
std::vector<std::size_t> encodeJob(SampleJob& job, bcpctrl::zpl::GraphicCompression compression) {
    const auto encoder = bcpctrl::zpl::makeLabelEncoder({kDotsPerInch, compression, false});
    std::vector<std::size_t> bytes;
    for (std::size_t i = 0; i < job.labels.size(); ++i) {
        const bcpctrl::LabelToPrint label{job.format, job.labels[i], 1, false, &job.contents[i], &job.renderer};
        bytes.push_back(encoder->encodeIssue(label).size() + kStatusQueryBytes);
    }
    benchmark::DoNotOptimize(encoder->endOfJob());
    return bytes;
}

void SampleJobOnZpl(benchmark::State& state, const testing_support::SampleJob& sample,
                    bcpctrl::zpl::GraphicCompression compression) {
    SampleJob job = loadJob(sample);
    std::vector<std::size_t> bytes = encodeJob(job, compression);  // fonts set up
    for (auto _ : state) {
        bytes = encodeJob(job, compression);
    }
    const double later = static_cast<double>(bytes.size() - 1);
    double laterMean = 0;
    for (std::size_t i = 1; i < bytes.size(); ++i) laterMean += static_cast<double>(bytes[i]) / later;
    const auto laterMost = static_cast<double>(*std::max_element(bytes.begin() + 1, bytes.end()));
    state.counters["labels"] = static_cast<double>(bytes.size());
    state.counters["first_bytes"] = static_cast<double>(bytes.front());
    state.counters["later_mean_bytes"] = laterMean;
    state.counters["later_max_bytes"] = laterMost;
    state.counters["first_s_9600"] = secondsAt9600(static_cast<double>(bytes.front()));
    state.counters["later_mean_s_9600"] = secondsAt9600(laterMean);
    state.counters["later_max_s_9600"] = secondsAt9600(laterMost);
    state.counters["encode_ms_per_label"] = benchmark::Counter(
        static_cast<double>(bytes.size()) * static_cast<double>(state.iterations()) / 1000.0,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void registerJobs() {
    for (const testing_support::SampleJob& sample : testing_support::sampleJobs()) {
        benchmark::RegisterBenchmark(("Z64/" + sample.format).c_str(), SampleJobOnZpl, sample,
                                     bcpctrl::zpl::GraphicCompression::Z64)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Hex/" + sample.format).c_str(), SampleJobOnZpl, sample,
                                     bcpctrl::zpl::GraphicCompression::Hex)
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
