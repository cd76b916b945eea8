// SPDX-License-Identifier: MIT
// zpl-printer-sim's decoder on ZPL that other programs write (a CUPS raster-to-label filter
// stores each page with ~DG), on data it must refuse, and on bytes that come in pieces as a
// serial line delivers them.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "zplsim/zpl_decoder.h"

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

// ZPL printers print a ^BQ placed with ^FO lower by the ^BY bar height in force, though
// a QR code has no bars; other barcodes start at ^FO.
TEST(ZplDecoder, AQrCodeAtFieldOriginPrintsLowerByTheBarHeight) {
    struct Row {
        std::string zpl;
        int xDots;
        int yDots;
    };
    const std::vector<Row> rows{
        {"^XA^FO100,200^BQN,2,4^FDMA,TSB^FS^XZ", 100, 210},  // 10 dots at power-up
        {"^XA^BY4,3.0,116^FO100,200^BQN,2,4^FDMA,TSB^FS^XZ", 100, 316},
        {"^XA^LH5,7^BY2,3.0,20^FO100,200^BQN,2,4^FDMA,TSB^FS^XZ", 105, 227},
        {"^XA^BY4,3.0,116^FO100,200^BCN,,N^FD123^FS^XZ", 100, 200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.zpl);
        const Decoded decoded = decode({row.zpl});
        ASSERT_EQ(decoded.labels.size(), 1u);
        ASSERT_EQ(decoded.labels[0].fields.size(), 1u);
        EXPECT_EQ(decoded.labels[0].fields[0].xDots, row.xDots);
        EXPECT_EQ(decoded.labels[0].fields[0].yDots, row.yDots);
    }
}

TEST(ZplDecoder, CancelAllDropsTheFormatBeingReceived) {
    const Decoded decoded = decode({"^XA^FO0,0^FDlost^FS~JA^XA^FO0,0^FDkept^FS^XZ"});
    EXPECT_EQ(decoded.cancels, 1);
    ASSERT_EQ(decoded.labels.size(), 1u);
    EXPECT_EQ(decoded.labels[0].fields[0].data, "kept");
}

}  // namespace
}  // namespace zplsim
