// SPDX-License-Identifier: MIT
// Bytes and seconds per label a serial ZPL printer takes for each sample format, with
// synthetic pictures until the renderer draws the labels: text fields filled with
// glyph-like strokes, barcodes with bars and QR codes with modules of the usual sizes.
// Whole-label graphics are what printers get today; the native estimate is what the
// building blocks give once the renderer's layout drives them: native barcodes, captions
// stored once a job, every other text as a graphic of its own (as Japanese text will be),
// measured on the second label of a job.
// Seconds are the bytes on a 9600 baud line with 8 data bits, even parity and one stop
// bit (11 bits a byte).
#include <benchmark/benchmark.h>

#include <random>

#include "bcpctrl/label_pictures.h"
#include "render/layout.h"
#include "bcpctrl/label_format.h"
#include "bcpctrl/zpl_label_encoder.h"

namespace {

using render::mmToDots;

constexpr int kDotsPerInch = 203;
constexpr double kBitsPerByteAt8E1 = 11.0;
constexpr double kBaudRate = 9600.0;

struct Box {
    int x, y, width, height;
};

class Canvas {
public:
    explicit Canvas(render::Raster& raster) : raster_(raster) {}
    void fill(const Box& box) {
        for (int y = std::max(box.y, 0); y < std::min(box.y + box.height, raster_.heightDots); ++y) {
            for (int x = std::max(box.x, 0); x < std::min(box.x + box.width, raster_.widthDots); ++x) {
                raster_.bits[static_cast<std::size_t>(y) * raster_.strideBytes + static_cast<std::size_t>(x) / 8] |=
                    static_cast<std::uint8_t>(0x80u >> (x % 8));
            }
        }
    }

private:
    render::Raster& raster_;
};

Box boxOf(const bcpctrl::LabelField& field) {
    return {mmToDots(field.xMm, kDotsPerInch), mmToDots(field.yMm, kDotsPerInch),
            mmToDots(field.widthMm, kDotsPerInch), mmToDots(field.heightMm, kDotsPerInch)};
}

// Characters of the font's size, each a few strokes, across two thirds of the box.
void drawText(Canvas& canvas, const bcpctrl::LabelField& field, std::mt19937& random) {
    const Box box = boxOf(field);
    const int size = std::max(6, static_cast<int>(field.font.sizePt / 72.0 * kDotsPerInch));
    const int stroke = std::max(1, size / 10);
    for (int x = box.x; x + size <= box.x + box.width * 2 / 3; x += size) {
        for (int strokes = 0; strokes < 4; ++strokes) {
            const bool across = random() % 2 == 0;
            const int at = static_cast<int>(random() % static_cast<unsigned>(size - stroke));
            canvas.fill(across ? Box{x, box.y + at, size - 2, stroke} : Box{x + at, box.y, stroke, size});
        }
    }
}

void drawBarcode(Canvas& canvas, const bcpctrl::LabelField& field, std::mt19937& random) {
    const Box box = boxOf(field);
    if (field.symbology == bcpctrl::Symbology::Qr) {
        const int module = 4;
        const int side = std::min(box.width, box.height) / module * module;
        for (int y = 0; y < side; y += module) {
            for (int x = 0; x < side; x += module) {
                if (random() % 2 == 0) canvas.fill({box.x + x, box.y + y, module, module});
            }
        }
        return;
    }
    const int module = 2;
    const int barHeight = box.height * 4 / 5;
    for (int x = box.x; x < box.x + box.width;) {
        const int bar = module * static_cast<int>(1 + random() % 4);
        canvas.fill({x, box.y, bar, barHeight});
        x += bar + module * static_cast<int>(1 + random() % 4);
    }
}

render::Raster syntheticLabel(const bcpctrl::LabelFormat& format) {
    render::Raster raster = render::Raster::blank(mmToDots(format.widthMm, kDotsPerInch),
                                                 mmToDots(format.heightMm, kDotsPerInch), kDotsPerInch);
    Canvas canvas(raster);
    std::mt19937 random(42);
    for (const bcpctrl::LabelField& field : format.fields) {
        if (field.type == bcpctrl::FieldType::Barcode) {
            drawBarcode(canvas, field, random);
        } else {
            drawText(canvas, field, random);
        }
    }
    return raster;
}

// The same picture for every label.
class FixedPicture final : public bcpctrl::LabelPictures {
public:
    explicit FixedPicture(render::Raster picture) : picture_(std::move(picture)) {}
    render::Raster raster(const bcpctrl::LabelToPrint&, int) const override { return picture_; }
    std::string pdf(const bcpctrl::LabelToPrint&) const override { return {}; }

private:
    render::Raster picture_;
};

void WholeLabelGraphic(benchmark::State& state, const std::string& formatName, bcpctrl::zpl::GraphicCompression compression) {
    const auto format = bcpctrl::readLabelFormatFile(std::string(MOKUREN_SAMPLES_DIR) + "/BcpCtrl/formats/" + formatName + ".json");
    if (!format.ok()) {
        state.SkipWithError("sample format unreadable");
        return;
    }
    const bcpctrl::FieldValues values;
    auto encoder = bcpctrl::zpl::makeWholeLabelEncoder(std::make_shared<FixedPicture>(syntheticLabel(format.value())),
                                                       {kDotsPerInch, compression, false});
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string zpl = encoder->encodeIssue(bcpctrl::LabelToPrint{format.value(), values, 1, false});
        bytes = zpl.size() + 3;  // and the status query that follows it
        benchmark::DoNotOptimize(zpl);
    }
    state.counters["bytes_per_label"] = static_cast<double>(bytes);
    state.counters["seconds_per_label_9600"] = static_cast<double>(bytes) * kBitsPerByteAt8E1 / kBaudRate;
}

std::string sampleData(bcpctrl::Symbology symbology) {
    switch (symbology) {
        case bcpctrl::Symbology::Ean13: return "4901234567894";
        case bcpctrl::Symbology::Ean8: return "49123456";
        case bcpctrl::Symbology::Itf14: return "14901234567891";
        case bcpctrl::Symbology::Qr: return "TSB|C2612-00031|4581209301076|30|20261209";
        default: return "R2612-0001";
    }
}

render::Raster textPicture(const bcpctrl::LabelField& field, std::mt19937& random) {
    bcpctrl::LabelField atOrigin = field;
    atOrigin.xMm = 0.0;
    atOrigin.yMm = 0.0;
    render::Raster raster = render::Raster::blank(mmToDots(field.widthMm, kDotsPerInch),
                                                 mmToDots(field.heightMm, kDotsPerInch), kDotsPerInch);
    Canvas canvas(raster);
    drawText(canvas, atOrigin, random);
    return raster;
}

std::string nativeLabel(const bcpctrl::LabelFormat& format, bcpctrl::zpl::GraphicStore& store) {
    using namespace bcpctrl::zpl;
    std::mt19937 random(42);
    std::string downloads;
    std::string fields;
    for (const bcpctrl::LabelField& field : format.fields) {
        const Box box = boxOf(field);
        if (field.type == bcpctrl::FieldType::Barcode) {
            BarcodeField barcode;
            barcode.symbology = *field.symbology;
            barcode.origin = {box.x, box.y, false};
            barcode.heightDots = box.height * 4 / 5;
            barcode.moduleWidthDots = field.symbology == bcpctrl::Symbology::Qr ? 4 : 2;
            barcode.data = sampleData(*field.symbology);
            fields += barcodeField(barcode);
        } else if (!field.defaultText.empty()) {
            fields += store.place(textPicture(field, random), {box.x, box.y, false}, downloads);
        } else {
            fields += graphicField(textPicture(field, random), {box.x, box.y, false}, GraphicCompression::Z64);
        }
    }
    return downloads + formatStart(mmToDots(format.widthMm, kDotsPerInch), mmToDots(format.heightMm, kDotsPerInch)) +
           fields + formatEnd(1, false, false);
}

void NativeEstimate(benchmark::State& state, const std::string& formatName) {
    const auto format = bcpctrl::readLabelFormatFile(std::string(MOKUREN_SAMPLES_DIR) + "/BcpCtrl/formats/" + formatName + ".json");
    if (!format.ok()) {
        state.SkipWithError("sample format unreadable");
        return;
    }
    std::size_t firstBytes = 0;
    std::size_t laterBytes = 0;
    for (auto _ : state) {
        bcpctrl::zpl::GraphicStore store(bcpctrl::zpl::GraphicCompression::Z64);
        firstBytes = nativeLabel(format.value(), store).size() + 3;
        laterBytes = nativeLabel(format.value(), store).size() + 3;
    }
    state.counters["first_label_bytes"] = static_cast<double>(firstBytes);
    state.counters["bytes_per_label"] = static_cast<double>(laterBytes);
    state.counters["seconds_per_label_9600"] = static_cast<double>(laterBytes) * kBitsPerByteAt8E1 / kBaudRate;
}

void registerFormats() {
    for (const std::string name : {"LABEL1", "LABEL2", "LABEL3", "CARD1", "CARD2", "SEAL1", "TBCARD"}) {
        benchmark::RegisterBenchmark(("Z64/" + name).c_str(), WholeLabelGraphic, name, bcpctrl::zpl::GraphicCompression::Z64)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Hex/" + name).c_str(), WholeLabelGraphic, name, bcpctrl::zpl::GraphicCompression::Hex)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("NativeEstimate/" + name).c_str(), NativeEstimate, name)->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerFormats();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
