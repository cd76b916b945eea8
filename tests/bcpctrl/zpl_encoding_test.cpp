// SPDX-License-Identifier: MIT
// The ZPL the control writes, read back by the emulator's decoder, which was written
// apart from the encoder.
#include <random>

#include <gtest/gtest.h>

#include "bcpctrl/label_drawing.h"
#include "bcpctrl/zpl_commands.h"
#include "zplsim/zpl_decoder.h"

namespace bcpctrl::zpl {
namespace {

std::vector<zplsim::Label> decodeAll(const std::string& zpl) {
    std::vector<zplsim::Label> labels;
    zplsim::Decoder decoder(zplsim::DecoderEvents{[&](zplsim::Label label) { labels.push_back(std::move(label)); },
                                                   nullptr, nullptr, nullptr, nullptr});
    decoder.feed(zpl);
    decoder.finish();
    return labels;
}

zplsim::Label decodeOne(const std::string& fields) {
    const auto labels = decodeAll("^XA" + fields + "^XZ");
    EXPECT_EQ(labels.size(), 1u);
    return labels.empty() ? zplsim::Label{} : labels.front();
}

void paint(render::Raster& raster, int x, int y) {
    raster.bits[static_cast<std::size_t>(y) * raster.strideBytes + static_cast<std::size_t>(x) / 8] |=
        static_cast<std::uint8_t>(0x80u >> (x % 8));
}

enum class Pattern { Blank, Black, Checker, Noise, Stripes };

render::Raster pattern(int width, int height, Pattern kind) {
    render::Raster raster = blankRaster(width, height, 203);
    raster.strideBytes += 2;  // rows may be longer than the dots they hold...
    raster.bits.assign(raster.strideBytes * static_cast<std::size_t>(height), 0);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool black = kind == Pattern::Black || (kind == Pattern::Checker && (x + y) % 2 == 0) ||
                               (kind == Pattern::Noise && random() % 3 == 0) || (kind == Pattern::Stripes && (y / 4) % 2 == 0 && x > 5);
            if (black) paint(raster, x, y);
        }
        raster.bits[static_cast<std::size_t>(y) * raster.strideBytes + raster.strideBytes - 1] = 0xFF;  // ...and hold anything past them
    }
    return raster;
}

::testing::AssertionResult sameDots(const render::Raster& sent, const zplsim::Bitmap& received) {
    if (received.heightDots != sent.heightDots || received.widthDots < sent.widthDots) {
        return ::testing::AssertionFailure() << "size " << received.widthDots << "x" << received.heightDots;
    }
    for (int y = 0; y < received.heightDots; ++y) {
        for (int x = 0; x < received.widthDots; ++x) {
            const bool expected = x < sent.widthDots && sent.isBlack(x, y);
            if (received.isBlack(x, y) != expected) return ::testing::AssertionFailure() << "dot " << x << "," << y;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(ZplGraphics, EveryPictureComesBackDotForDotInBothEncodings) {
    struct Row {
        int row;
        int width;
        int height;
        Pattern kind;
        std::size_t mostHexBytes;  // 0: not looked at
    };
    const std::vector<Row> rows{
        {1, 800, 560, Pattern::Blank, 600},   // a blank label is one "," and a ":" a row
        {2, 16, 3, Pattern::Black, 0},
        {3, 13, 7, Pattern::Checker, 0},      // width not a whole byte
        {4, 123, 45, Pattern::Noise, 0},
        {5, 64, 40, Pattern::Stripes, 0},     // repeated rows
        {6, 1, 1, Pattern::Black, 0},
        {7, 3400, 2, Pattern::Black, 20},     // runs longer than one repeat count (419)
    };
    for (const Row& row : rows) {
        for (const GraphicCompression compression : {GraphicCompression::Hex, GraphicCompression::Z64}) {
            SCOPED_TRACE(::testing::Message() << row.row << (compression == GraphicCompression::Hex ? " hex" : " Z64"));
            const render::Raster raster = pattern(row.width, row.height, row.kind);
            const std::string field = graphicField(raster, FieldOrigin{5, 9, false}, compression);
            const zplsim::Label label = decodeOne(field);
            ASSERT_EQ(label.fields.size(), 1u);
            EXPECT_TRUE(label.errors.empty()) << label.errors.front();
            ASSERT_TRUE(label.fields[0].image);
            EXPECT_TRUE(sameDots(raster, *label.fields[0].image));
            EXPECT_EQ(label.fields[0].xDots, 5);
            if (compression == GraphicCompression::Hex && row.mostHexBytes > 0) {
                EXPECT_LE(graphicData(raster, compression).size(), row.mostHexBytes);
            }
        }
    }
}

TEST(ZplGraphics, StoredGraphicsAreDownloadedOnceAJobAndRecalledOnEveryLabel) {
    GraphicStore store(GraphicCompression::Z64);
    const render::Raster caption = pattern(40, 12, Pattern::Checker);
    const render::Raster other = pattern(24, 12, Pattern::Stripes);
    std::string downloads;
    std::string stream;
    for (int label = 0; label < 3; ++label) {
        const std::string fields = store.place(caption, {10, 20, false}, downloads) +
                                   (label == 1 ? store.place(other, {60, 20, false}, downloads) : "");
        stream += downloads + "^XA" + fields + "^XZ";
        downloads.clear();
    }
    EXPECT_EQ(store.size(), 2u);
    const auto countOf = [&](const std::string& text) {
        std::size_t count = 0;
        for (auto at = stream.find(text); at != std::string::npos; at = stream.find(text, at + 1)) ++count;
        return count;
    };
    EXPECT_EQ(countOf("~DG"), 2u);
    EXPECT_EQ(countOf("^XG"), 4u);
    std::vector<zplsim::Label> labels;
    zplsim::Decoder decoder(zplsim::DecoderEvents{[&](zplsim::Label label) { labels.push_back(std::move(label)); },
                                                   nullptr, nullptr, nullptr, nullptr});
    decoder.feed(stream);
    ASSERT_EQ(labels.size(), 3u);
    ASSERT_EQ(labels[1].fields.size(), 2u);
    EXPECT_TRUE(sameDots(caption, *labels[2].fields[0].image));
    EXPECT_TRUE(sameDots(other, *labels[1].fields[1].image));
    EXPECT_EQ(labels[1].fields[1].xDots, 60);
    decoder.feed(store.deleteAll());
    EXPECT_TRUE(decoder.storedGraphics().empty()) << "the job's end frees the printer's memory";
}

struct BarcodeRow {
    int row;
    BarcodeField field;
    std::string command;
    std::string params;
    std::string data;  // QR: the decoded text
    char qrMode = 0;   // QR: A automatic, or the manual character mode
};

BarcodeField barcode(Symbology symbology, std::string data, int rotationDeg = 0) {
    BarcodeField field;
    field.symbology = symbology;
    field.origin = {30, 40, false};
    field.rotationDeg = rotationDeg;
    field.moduleWidthDots = 3;
    field.heightDots = 80;
    field.data = std::move(data);
    return field;
}

TEST(ZplBarcodes, EachSymbologyBecomesItsOwnCommandWithItsData) {
    const std::vector<BarcodeRow> rows{
        {1, barcode(Symbology::Ean13, "4901234567894"), "BE", "N,80,Y,N", "490123456789"},
        {2, barcode(Symbology::Ean8, "49123456", 90), "B8", "R,80,Y,N", "4912345"},
        {3, barcode(Symbology::Code128, "R2612-0001"), "BC", "N,80,Y,N,N,N", "R2612-0001"},
        {4, barcode(Symbology::Code128, "12345678"), "BC", "N,80,Y,N,N,N", ">;12345678"},
        {5, barcode(Symbology::Code128, "A>B"), "BC", "N,80,Y,N,N,N", "A><B"},
        {6, barcode(Symbology::Gs1_128, "(01)04912345678904(10)LOT1"), "BC", "N,80,Y,N,N,D", "(01)04912345678904(10)LOT1"},
        {7, barcode(Symbology::Code39, "ABC-123", 180), "B3", "I,N,80,Y,N", "ABC-123"},
        {8, barcode(Symbology::Nw7, "A123456B"), "BK", "N,N,80,Y,N,A,B", "123456"},
        {9, barcode(Symbology::Nw7, "123456"), "BK", "N,N,80,Y,N,A,A", "123456"},
        {10, barcode(Symbology::Itf14, "14901234567891", 270), "B2", "B,80,Y,N,N", "14901234567891"},
        {11, barcode(Symbology::Qr, "TSB|C2612-00031|4581209301076|30|20261209"), "BQ", "N,2,3,M",
         "TSB|C2612-00031|4581209301076|30|20261209", 'A'},
        {12, barcode(Symbology::Qr, "漢字テスト"), "BQ", "N,2,3,M", "漢字テスト", 'K'},
        {13, barcode(Symbology::Qr, "TSB|北海道_^~"), "BQ", "N,2,3,M", "TSB|北海道_^~", 'B'},
    };
    for (const BarcodeRow& row : rows) {
        SCOPED_TRACE(row.row);
        const zplsim::Label label = decodeOne(barcodeField(row.field));
        ASSERT_EQ(label.fields.size(), 1u);
        const zplsim::Field& field = label.fields[0];
        EXPECT_EQ(field.command, row.command);
        EXPECT_EQ(field.params, row.params);
        EXPECT_EQ(field.xDots, 30);
        EXPECT_EQ(field.bar.moduleWidthDots, 3);
        EXPECT_EQ(field.bar.heightDots, 80);
        if (row.qrMode == 0) {
            EXPECT_EQ(field.data, row.data);
            continue;
        }
        const zplsim::QrContent qr = zplsim::readQrData(field.data);
        EXPECT_EQ(qr.error, "");
        EXPECT_EQ(qr.text, row.data);
        EXPECT_EQ(row.qrMode == 'A' ? qr.inputMode : qr.characterMode, row.qrMode);
    }
}

TEST(ZplText, CharactersThatWouldEndAFieldComeBackAsSent) {
    const zplsim::Label label = decodeOne(textField({{12, 34, true}, 90, 28, 20, "Lot_7 ^A~HS\tend"}));
    ASSERT_EQ(label.fields.size(), 1u);
    EXPECT_EQ(label.fields[0].data, "Lot_7 ^A~HS\tend");
    EXPECT_EQ(label.fields[0].font, "0R,28,20");
    EXPECT_EQ(label.fields[0].origin, "FT");
}

TEST(ZplFormat, CopiesAndCutBecomeThePrintQuantityAndMode) {
    struct Row {
        int row;
        int copies;
        bool cut;
        bool cutter;
        char mode;
    };
    const std::vector<Row> rows{{1, 3, true, true, 'C'}, {2, 2, true, false, 'T'}, {3, 1, false, true, 'T'}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        const auto labels = decodeAll(formatStart(320, 160) + textField({{0, 0, false}, 0, 20, 0, "x"}) +
                                      formatEnd(row.copies, row.cut, row.cutter));
        ASSERT_EQ(labels.size(), 1u);
        EXPECT_EQ(labels[0].copies, row.copies);
        EXPECT_EQ(labels[0].printMode, row.mode);
        EXPECT_EQ(labels[0].printWidthDots, 320);
        EXPECT_EQ(labels[0].encoding, 28);
        for (int copy = 1; copy <= row.copies; ++copy) {
            EXPECT_EQ(labels[0].cutsAfterCopy(copy), row.mode == 'C' && copy == row.copies) << "copy " << copy;
        }
    }
}

}  // namespace
}  // namespace bcpctrl::zpl
