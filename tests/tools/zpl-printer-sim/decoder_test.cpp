// SPDX-License-Identifier: MIT
// zpl-printer-sim's decoder on ZPL that other programs write (a CUPS raster-to-label filter
// stores each page with ~DG), on data it must refuse, and on bytes that come in pieces as a
// serial line delivers them.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "zplsim/label_picture.h"
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
        {"~DBR:F.FNT,N,4,4,3,2,2,X,#41.1.1.0.0.2.80", "1 characters where the count says 2"},
        {"~DBR:F.FNT,N,4,4,3,2,1,X,#41.2.8.0.0.2.FF", "data ends after 1 of 2 bytes"},
        {"^XA^FO0,0^A@N,10,,R:NONE.FNT^FDx^FS^XZ", "no font R:NONE.FNT"},
        {"^XA^XFR:NONE.ZPL^FS^XZ", "no stored format R:NONE.ZPL"},
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

// A font of three characters (cell 6 high, baseline 5 dots from its top, space 3): "A" two
// rows of three dots one in from the pen and one down from the cell's top, "あ" (U+3042) one
// row of eight on the row under the baseline. Text goes on from the pen after each character
// (an unknown one moves a space), ^FT without a position goes on from the text before, and
// a height twice the cell's doubles every dot.
TEST(ZplDecoder, TypesetsTextInADownloadedBitmapFontOnItsBaseline) {
    const std::string font = "~DBR:T.FNT,N,6,8,5,3,2,test,#41.2.3.1.1.5.E0A0#3042.1.8.0.5.8.FF";
    const Decoded decoded = decode({font + "^XA^CI28^PW64^LL48^FT10,20^A@N,6,,R:T.FNT^FDA A^FS^FT^A@N,12,,R:T.FNT^FDA^FS"
                                           "^FO40,30^A@N,,,R:T.FNT^FDあ^FS^XZ"});
    ASSERT_EQ(decoded.labels.size(), 1u);
    EXPECT_TRUE(decoded.rejected.empty()) << decoded.rejected.front();
    Bitmap expected;
    expected.widthDots = 64;
    expected.heightDots = 48;
    expected.strideBytes = 8;
    expected.bits.assign(8 * 48, 0);
    const auto dots = [&](int x, int y, int width, int height) {
        for (int row = y; row < y + height; ++row) {
            for (int column = x; column < x + width; ++column) {
                expected.bits[static_cast<std::size_t>(row * 8 + column / 8)] |= static_cast<std::uint8_t>(0x80 >> (column % 8));
            }
        }
    };
    for (const int x : {11, 19}) {  // "A", a space, "A": the cell's top at 20 - 5
        dots(x, 16, 3, 1);
        dots(x, 17, 1, 1);
        dots(x + 2, 17, 1, 1);
    }
    dots(25, 12, 6, 2);  // "A" twice as large from the pen at 23, the cell's top at 20 - 10
    dots(25, 14, 2, 2);
    dots(29, 14, 2, 2);
    dots(40, 35, 8, 1);  // ^FO: the cell's top at 30
    const LabelPicture picture = labelPicture(decoded.labels[0]);
    EXPECT_TRUE(picture.undrawn.empty());
    EXPECT_EQ(picture.dots, expected);
}

// The example of stored formats in the ZPL II documentation: the data of ^FN1 goes to both
// fields of that number, ^FN2 without data prints nothing; ^ID deletes what was stored.
TEST(ZplDecoder, StoredFormatsTakeTheDataOfTheirNumberedFields) {
    const std::string stored = "^XA^DFR:STOREFMT.ZPL^FS^FO25,25^AD,36,20^FN1^FS^FO165,25^AD,36,20^FN2^FS"
                               "^FO25,75^AB,22,14^FDBUILT BY^FS^FO25,125^AE,28,15^FN1^FS^XZ";
    const std::string barcode = "^XA^DFR:EAN.ZPL^FS^BY2^FO0,0^BEN,50,N,N^FN7^FS^XZ";
    const std::string recalls = "^XA^XFR:STOREFMT.ZPL^FS^FN1^FDZEBRA^FS^XZ^XA^XFR:EAN.ZPL^FS^FN7^FD490123456789^FS^XZ";
    std::vector<Label> labels;
    Decoder decoder(DecoderEvents{[&](Label label) { labels.push_back(std::move(label)); }, nullptr, nullptr, nullptr,
                                  nullptr, nullptr});
    decoder.feed(stored + barcode + recalls);
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_FALSE(labels[0].prints()) << "storing a format prints nothing";
    const std::vector<Field>& fields = labels[2].fields;
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0].data, "ZEBRA");
    EXPECT_EQ(fields[1].data, "");
    EXPECT_EQ(fields[2].data, "BUILT BY");
    EXPECT_EQ(fields[3].data, "ZEBRA");
    EXPECT_EQ(fields[3].yDots, 125);
    ASSERT_EQ(labels[3].fields.size(), 1u);
    EXPECT_EQ(labels[3].fields[0].data, "490123456789");
    EXPECT_EQ(decoder.storedFormats().size(), 2u);
    decoder.feed("^XA^IDR:*.ZPL^FS^XZ");
    EXPECT_TRUE(decoder.storedFormats().empty());
}

}  // namespace
}  // namespace zplsim
