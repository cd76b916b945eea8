// SPDX-License-Identifier: MIT
// Labels per second for the sample receiving label (LABEL1, its twelve records in turn)
// at 203 dpi to 1-bit PNG and to PDF on one core, and the peak memory of a PDF job of
// 30,000 labels beside one of 10.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <spawn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "render/label_renderer.h"
#include "render/pdf.h"
#include "render/png.h"
#include "sample_jobs.h"

extern char** environ;

namespace {

constexpr int kDotsPerInch = 203;
constexpr double kQPainterMsPerLabel = 2.4;   // QPainter drawing and a 1-bit PNG, this kind of machine
constexpr double kLabelProgramPerSecond = 246.0;  // a widely used label program's batch mode
constexpr double kLabelProgramMbPerLabel = 0.6;

struct Label1Job {
    testing_support::SampleJob job = testing_support::sampleJobs()[0];
    labelformat::LabelFormat format = testing_support::sampleFormat(job);
    std::vector<labelformat::FieldValues> labels = testing_support::sampleLabels(job, format);
    render::LabelRenderer renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());

    render::LabelLayout layout(std::size_t index) {
        return renderer.layOut(renderer.content(labels[index % labels.size()]).value(), kDotsPerInch);
    }
};

void BM_Label1ToPng(benchmark::State& state) {
    Label1Job job;
    render::PngEncoder encoder;
    benchmark::DoNotOptimize(encoder.encode(job.renderer.paint(job.layout(0))));  // fonts set up
    std::size_t index = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes += encoder.encode(job.renderer.paint(job.layout(index++))).size();
    }
    const auto labels = static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
    state.counters["png_bytes"] = static_cast<double>(bytes) / labels;
    state.counters["labels_per_s"] = benchmark::Counter(labels, benchmark::Counter::kIsRate);
    state.counters["qpainter_ms_over_ours"] =
        benchmark::Counter(labels * kQPainterMsPerLabel / 1000.0, benchmark::Counter::kIsRate);
    state.counters["ours_over_label_program"] =
        benchmark::Counter(labels / kLabelProgramPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Label1ToPng)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_Label1ToPdf(benchmark::State& state) {
    Label1Job job;
    std::size_t bytes = 0;
    render::PdfDocument document([&bytes](std::string_view written) {
        bytes += written.size();
        return true;
    });
    document.addPage(job.layout(0));
    std::size_t index = 0;
    for (auto _ : state) {
        document.addPage(job.layout(index++));
    }
    document.finish();
    const auto labels = static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
    state.counters["pdf_bytes_per_label"] = static_cast<double>(bytes) / (labels + 1);
    state.counters["labels_per_s"] = benchmark::Counter(labels, benchmark::Counter::kIsRate);
    state.counters["ours_over_label_program"] =
        benchmark::Counter(labels / kLabelProgramPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Label1ToPdf)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

constexpr std::string_view kPdfJobOption = "--pdf-job";

// Run as `render_bench --pdf-job N`: a PDF job of N labels written to a temporary file.
int runPdfJob(int labels) {
    Label1Job job;
    std::FILE* file = std::tmpfile();
    render::PdfDocument document([file](std::string_view bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    });
    for (int label = 0; label < labels; ++label) document.addPage(job.layout(static_cast<std::size_t>(label)));
    return document.finish() ? 0 : 1;
}

// The peak resident memory, in MB, of a fresh process that runs a PDF job of `labels`.
double peakMegabytesOfPdfJob(int labels) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string option(kPdfJobOption);
    std::string count = std::to_string(labels);
    char* argv[] = {self.data(), option.data(), count.data(), nullptr};
    pid_t child = -1;
    if (::posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_PdfJobPeakMemory(benchmark::State& state) {
    double small = 0;
    double large = 0;
    for (auto _ : state) {
        small = peakMegabytesOfPdfJob(10);
        large = peakMegabytesOfPdfJob(static_cast<int>(state.range(0)));
    }
    state.counters["peak_mb_10_labels"] = small;
    state.counters["peak_mb_job"] = large;
    state.counters["growth_mb"] = large - small;
    state.counters["label_program_growth_mb"] = kLabelProgramMbPerLabel * static_cast<double>(state.range(0));
}
BENCHMARK(BM_PdfJobPeakMemory)->Arg(30000)->Iterations(1)->Unit(benchmark::kSecond);

// Where a label's time goes.
void BM_Label1LayoutOnly(benchmark::State& state) {
    Label1Job job;
    std::size_t index = 0;
    job.layout(index++);
    for (auto _ : state) benchmark::DoNotOptimize(job.layout(index++));
}
BENCHMARK(BM_Label1LayoutOnly)->Unit(benchmark::kMicrosecond);

void BM_Label1PaintOnly(benchmark::State& state) {
    Label1Job job;
    std::vector<render::LabelLayout> layouts;
    for (std::size_t i = 0; i < job.labels.size(); ++i) layouts.push_back(job.layout(i));
    std::size_t index = 0;
    for (auto _ : state) benchmark::DoNotOptimize(job.renderer.paint(layouts[index++ % layouts.size()]));
}
BENCHMARK(BM_Label1PaintOnly)->Unit(benchmark::kMicrosecond);

void BM_Label1PngOnly(benchmark::State& state) {
    Label1Job job;
    const render::Raster raster = job.renderer.paint(job.layout(0));
    render::PngEncoder encoder;
    for (auto _ : state) benchmark::DoNotOptimize(encoder.encode(raster));
}
BENCHMARK(BM_Label1PngOnly)->Unit(benchmark::kMicrosecond);

// A text field of 56 x 20 mm at 10 pt and 203 dpi holding a long text: the time to fit it
// stays bounded by what the box shows, however long the text. Laid out whole, a million
// kana took about 4.5 s (and came out as a black band).
void BM_LongTextFit(benchmark::State& state) {
    const bool wrap = state.range(1) != 0;
    auto format = labelformat::parseLabelFormat(
        std::string(R"({"usePrinter": 1, "label": {"widthMm": 60, "heightMm": 40}, "fields": [{"number": 1, "type": "text",
        "xMm": 2, "yMm": 2, "widthMm": 56, "heightMm": 20, "rotation": 0, "wrap": )") + (wrap ? "true" : "false") + "}]}");
    auto renderer = std::move(render::LabelRenderer::create(format.value(), render::Fonts::loadWhenNeeded()).value());
    std::string text;
    for (std::int64_t i = 0; i < state.range(0); ++i) text += "あ";
    for (auto _ : state) {
        // A text of its own every time: the renderer keeps the fitted text of an unchanged field.
        text.back() = static_cast<char>(text.back() ^ 1);
        benchmark::DoNotOptimize(renderer.layOut(renderer.content({{1, text}}).value(), kDotsPerInch));
    }
    state.counters["characters"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_LongTextFit)->Args({100, 1})->Args({20000, 1})->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && argv[1] == kPdfJobOption) return runPdfJob(std::atoi(argv[2]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
