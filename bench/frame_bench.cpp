// SPDX-License-Identifier: MIT
// Records per second through the issue loop with a control that does nothing, and the
// field reader's throughput on ASCII and on Japanese CP932 text.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "frame/field_reader.h"
#include "frame/issuing_form.h"
#include "goods/goods_edition.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 30000;
constexpr int kReceivingFields = 24;

class NullControl : public frame::BcpControl {
public:
    void setPortSetting(const std::string&) override {}
    void setUsePrinter(std::int16_t) override {}
    frame::VbBool LoadFormat(std::string&, frame::ResultCode& r) override { return ok(r); }
    frame::VbBool OpenPort(std::int16_t&, frame::ResultCode& r) override { return ok(r); }
    frame::VbBool SetField(std::int16_t, std::string& text, frame::ResultCode& r) override {
        benchmark::DoNotOptimize(text.data());
        return ok(r);
    }
    frame::VbBool Issue(std::int16_t, std::int16_t, std::string&, frame::ResultCode& r) override { return ok(r); }
    frame::VbBool ClosePort(frame::ResultCode& r) override { return ok(r); }
    void connectOnStatus(OnStatusHandler) override {}
    void deliverPendingEvents() override {}

private:
    static frame::VbBool ok(frame::ResultCode& result) {
        result = 0;
        return frame::kVbTrue;
    }
};

class NullWindow : public frame::Window {
public:
    void setStatusText(const std::string& text) override { benchmark::DoNotOptimize(text.data()); }
    void yieldToEvents() override {}
    frame::MessageAnswer showMessage(const frame::MessageBox&) override { return frame::MessageAnswer::Ok; }
    void hide() override {}
    void unload() override {}
};

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

void BM_IssueLabelsReceiving(benchmark::State& state) {
    const std::string line = "/LABEL1 /" + callerPath(receivingFile()) + " /DRV /DRV:TEC B-374";
    for (auto _ : state) {
        NullControl control;
        NullWindow window;
        frame::IssuingForm form(goods::kGoodsEdition, window, control);
        form.Form_Load(line);
        form.Form_Activate();
        if (form.state().IssuedCount != kRecords) state.SkipWithError("not every record was issued");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kRecords),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IssueLabelsReceiving)->Unit(benchmark::kMillisecond);

void readAllFields(benchmark::State& state, const fs::path& file) {
    const auto bytes = static_cast<std::int64_t>(fs::file_size(file));
    for (auto _ : state) {
        auto reader = frame::FieldReader::open(file.string());
        std::string text;
        while (!reader->atEnd()) {
            reader->readField(text);
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_FieldReaderReceiving(benchmark::State& state) { readAllFields(state, receivingFile()); }
BENCHMARK(BM_FieldReaderReceiving)->Unit(benchmark::kMillisecond);

void BM_FieldReaderAsciiOnly(benchmark::State& state) {
    static const fs::path file = [] {
        const fs::path path = receivingFile().parent_path() / "ASCII.DAT";
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kRecords; ++i) out << "4901234567894,2026/12/07,\"1,200\",LEMON SODA 500ML,12\r\n";
        return path;
    }();
    readAllFields(state, file);
}
BENCHMARK(BM_FieldReaderAsciiOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(receivingFile().parent_path());
    return 0;
}
