// SPDX-License-Identifier: MIT
// ZPL both ways: what the control writes, read back by the emulator's decoder (written
// apart from the encoder); what printers answer to ~HS; and the decoder and fault script
// of zpl-printer-sim on their own. One file, so that the build pays for its headers once.
#include <cstdio>
#include <random>

#include <gtest/gtest.h>

#include "bcpctrl/zpl_commands.h"
#include "bcpctrl/zpl_host_status.h"
#include "zplsim/fault_script.h"
#include "zplsim/zpl_decoder.h"

namespace bcpctrl::zpl {
namespace {

std::vector<zplsim::Label> decodeAll(const std::string& zpl) {
    std::vector<zplsim::Label> labels;
    zplsim::Decoder decoder(zplsim::DecoderEvents{[&](zplsim::Label label) { labels.push_back(std::move(label)); },
                                                   nullptr, nullptr, nullptr, nullptr, nullptr});
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
    render::Raster raster = render::Raster::blank(width, height, 203);
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
                                                   nullptr, nullptr, nullptr, nullptr, nullptr});
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


// The three strings with the fields that matter set; the rest as printers send them.
std::string answer(char paperOut, char pause, int formats, char bufferFull, char partial, char headUp, char ribbonOut,
                   long remaining, char overTemperature = '0') {
    char text[200];
    std::snprintf(text, sizeof text,
                  "\x02" "030,%c,%c,0560,%03d,%c,0,%c,000,0,0,%c\x03\r\n"
                  "\x02" "001,0,%c,%c,0,2,0,0,%08ld,1,000\x03\r\n"
                  "\x02" "1234,0\x03\r\n",
                  paperOut, pause, formats, bufferFull, partial, overTemperature, headUp, ribbonOut, remaining);
    return text;
}

TEST(HostStatus, TakesWholeAnswersOnlyAndSkipsWhatIsNotOne) {
    struct Row {
        int row;
        std::string incoming;
        std::optional<std::string_view> state;  // nothing: no answer yet
        long formats;
        long remaining;
        std::size_t left;  // bytes left in `incoming`
    };
    const std::string paperOut = answer('1', '0', 2, '0', '0', '0', '0', 3);
    const std::vector<Row> rows{
        {1, paperOut, "11", 2, 3, 2},  // the last CR LF waits for the next call
        {2, paperOut.substr(0, 40), std::nullopt, 0, 0, 40},
        {3, "\x11\x13garbage" + answer('0', '1', 0, '0', '1', '0', '0', 0), "15", 0, 0, 2},
        {4, "\x02" "1,2,3\x03\r\n\x02" "4\x03\r\n\x02" "5\x03\r\n" + answer('0', '0', 0, '0', '0', '1', '1', 0), "13", 0, 0, 2},
        {5, answer('0', '0', 0, '0', '0', '0', '1', 0), "14", 0, 0, 2},
        {6, answer('0', '0', 0, '1', '0', '0', '0', 0), "16", 0, 0, 2},
        {7, answer('0', '0', 1, '0', '0', '0', '0', 12, '1'), "19", 1, 12, 2},
        {8, answer('0', '0', 0, '0', '0', '0', '0', 0), "00", 0, 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        std::string incoming = row.incoming;
        const auto status = takeHostStatus(incoming);
        ASSERT_EQ(status.has_value(), row.state.has_value());
        EXPECT_EQ(incoming.size(), row.left);
        if (!status) continue;
        EXPECT_EQ(printerState(*status), *row.state);
        EXPECT_EQ(status->formatsInBuffer, row.formats);
        EXPECT_EQ(status->labelsRemaining, row.remaining);
    }
}

TEST(HostStatus, LabelsStillInThePrinterAreTheBatchAndTheWaitingFormats) {
    struct Row {
        int row;
        long formats;
        bool partial;
        long remaining;
        std::vector<int> copies;  // of the formats not yet seen printed, oldest first
        long expected;
    };
    const std::vector<Row> rows{
        {1, 0, false, 0, {1, 1}, 0},
        {2, 2, false, 0, {1, 3, 2}, 5},       // the newest two wait
        {3, 1, false, 2, {3, 1}, 3},          // two copies of the first left, the second waits
        {4, 0, true, 0, {1, 4}, 4},           // the newest is still coming in
        {5, 5, false, 0, {1, 1}, 2},          // formats of someone else count for nothing
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        HostStatus status;
        status.formatsInBuffer = row.formats;
        status.partialFormat = row.partial;
        status.labelsRemaining = row.remaining;
        EXPECT_EQ(labelsInPrinter(status, row.copies), row.expected);
    }
}

}  // namespace
}  // namespace bcpctrl::zpl

// zpl-printer-sim's decoder on ZPL that other programs write (a CUPS raster-to-label filter
// stores each page with ~DG), on data it must refuse, and on bytes that come in pieces as a
// serial line delivers them.
namespace zplsim {
namespace {

struct Decoded {
    std::vector<Label> labels;
    std::vector<std::string> rejected;
    int statusQueries = 0;
    int cancels = 0;
};

Decoded decode(const std::vector<std::string>& pieces, bool finish = true) {
    Decoded decoded;
    Decoder decoder(DecoderEvents{[&](Label label) { decoded.labels.push_back(std::move(label)); },
                                  [&] { ++decoded.statusQueries; }, [&] { ++decoded.cancels; }, nullptr,
                                  [&](const std::string& error) { decoded.rejected.push_back(error); }, nullptr});
    for (const std::string& piece : pieces) decoder.feed(piece);
    if (finish) decoder.finish();
    return decoded;
}

// A page as such a filter writes it: settings, the page stored as a graphic in hex lines
// ("," a white row, ":" the row above again), a format that recalls it, one that deletes it.
const std::string kFilterPage =
    "^XA^MNY^LH0,0^XZ\n"
    "~DGR:CUPS.GRF,8,2,\n"
    "FFF0\n,\n:\n0F,\n"
    "^XA\n^POI\n^PW16\n^FO0,0^XGR:CUPS.GRF,1,1^FS\n^PQ2, 0, 0, N\n^XZ\n"
    "^XA\n^IDR:CUPS.GRF^FS\n^XZ\n";

TEST(ZplDecoder, ReadsAPageAsARasterFilterStoresAndRecallsIt) {
    const Decoded decoded = decode({kFilterPage});
    ASSERT_EQ(decoded.labels.size(), 3u);
    EXPECT_FALSE(decoded.labels[0].prints()) << "settings alone print nothing";
    EXPECT_FALSE(decoded.labels[2].prints());
    const Label& page = decoded.labels[1];
    ASSERT_TRUE(page.prints());
    EXPECT_EQ(page.copies, 2);
    ASSERT_TRUE(page.fields[0].image);
    const Bitmap& image = *page.fields[0].image;
    EXPECT_EQ(image.bits, (std::vector<std::uint8_t>{0xFF, 0xF0, 0, 0, 0, 0, 0x0F, 0}));
    EXPECT_EQ(page.fields[0].source, "R:CUPS.GRF");
    EXPECT_TRUE(decoded.rejected.empty());
}

TEST(ZplDecoder, BytesInAnyPiecesDecodeAsTheWholeAndQueriesAnswerAtOnce) {
    const std::string stream = kFilterPage + "^XA^FO1,2^A0N,20^FH^FDa_5Eb^FS^XZ~HS";
    std::vector<std::string> bytes;
    for (const char c : stream) bytes.emplace_back(1, c);
    const Decoded whole = decode({stream});
    const Decoded pieces = decode(bytes, false);
    ASSERT_EQ(pieces.labels.size(), whole.labels.size());
    EXPECT_EQ(pieces.labels.back().fields[0].data, "a^b");
    EXPECT_EQ(pieces.labels.back().commands, whole.labels.back().commands);
    EXPECT_EQ(pieces.statusQueries, 1) << "~HS at the very end is answered without waiting for more";
}

TEST(ZplDecoder, RefusesDataThatIsNotWhatItClaims) {
    const std::vector<std::pair<std::string, std::string>> rows{
        {"^XA^GFA,2,2,1,:Z64:eJz7DwABAQEA:0000^FS^XZ", "CRC does not match"},
        {"^XA^GFA,2,2,1,:Z64:eJz7DwABAQEA^FS^XZ", "no CRC"},
        {"^XA^GFA,4,4,2,FF$$^FS^XZ", "not graphic data"},
        {"^XA^GFA,4,4,2,FFFF^FS^XZ", "data ends after 2 of 4 bytes"},
        {"^XA^GFA,3,3,2,FF^FS^XZ", "whole rows"},
        {"^XA^FO0,0^XGR:NONE.GRF,1,1^FS^XZ", "no stored graphic R:NONE.GRF"},
        {"^XA^FO0,0^FDnever ended^XZ", "a field without ^FS"},
        {"^XA^FO0,0", "ends inside a format"},
    };
    for (std::size_t row = 0; row < rows.size(); ++row) {
        SCOPED_TRACE(row + 1);
        const Decoded decoded = decode({rows[row].first});
        ASSERT_FALSE(decoded.rejected.empty());
        EXPECT_NE(decoded.rejected.front().find(rows[row].second), std::string::npos) << decoded.rejected.front();
    }
}

TEST(ZplDecoder, CancelAllDropsTheFormatBeingReceived) {
    const Decoded decoded = decode({"^XA^FO0,0^FDlost^FS~JA^XA^FO0,0^FDkept^FS^XZ"});
    EXPECT_EQ(decoded.cancels, 1);
    ASSERT_EQ(decoded.labels.size(), 1u);
    EXPECT_EQ(decoded.labels[0].fields[0].data, "kept");
}

TEST(FaultScript, ReadsEveryFaultAndRefusesWhatItDoesNotKnow) {
    std::string bad;
    const auto rules = parseFaultScript("# faults\npaper-out:after=2,for=500\n\nno-answer\nslow:ms=300,after=1\n", bad);
    ASSERT_TRUE(rules);
    ASSERT_EQ(rules->size(), 3u);
    EXPECT_EQ((*rules)[0].kind, FaultKind::PaperOut);
    EXPECT_EQ((*rules)[0].afterLabel, 2);
    EXPECT_EQ((*rules)[0].duration, std::chrono::milliseconds(500));
    EXPECT_FALSE((*rules)[1].duration);
    EXPECT_EQ((*rules)[2].slowPerLabel, std::chrono::milliseconds(300));
    for (const std::string text : {"paper-in", "pause:after=-1", "pause:ms=3", "slow", "head-open:for", "stall:after=1,", "pause:"}) {
        EXPECT_FALSE(parseFaultRule(text)) << text;
    }
    EXPECT_FALSE(parseFaultScript("pause\nbogus\n", bad));
    EXPECT_EQ(bad, "bogus");
}

}  // namespace
}  // namespace zplsim
