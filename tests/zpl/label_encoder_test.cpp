// SPDX-License-Identifier: MIT
// What the control writes for a label, read back by the emulator's decoder (written apart
// from the encoder): graphics, barcodes, text, the format's copies and cut, and the sample
// jobs' labels against the renderer's picture.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "zpl/barcodes.h"
#include "zpl/commands.h"
#include "zpl/graphics.h"
#include "zpl/label_encoder.h"
#include "raster_reading.h"
#include "render/label_renderer.h"
#include "sample_jobs.h"
#include "zplsim/barcode_bars.h"
#include "zplsim/label_picture.h"
#include "zplsim/zpl_decoder.h"

namespace zpl {
namespace {

using labelformat::Align;
using labelformat::FieldType;
using labelformat::LabelField;
using labelformat::LabelFormat;
using labelformat::Symbology;

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
    GraphicStore store(GraphicCompression::Z64, "T1");
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

// A barcode as the renderer encodes it for a field of its own.
std::shared_ptr<const render::EncodedSymbol> symbolOf(Symbology symbology, const std::string& data) {
    LabelFormat format;
    format.widthMm = 100.0;
    format.heightMm = 60.0;
    LabelField field;
    field.number = 1;
    field.type = FieldType::Barcode;
    field.symbology = symbology;
    field.xMm = 2.0;
    field.yMm = 2.0;
    field.widthMm = 96.0;
    field.heightMm = 56.0;
    format.fields.push_back(field);
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    const auto content = renderer.content({{1, data}});
    EXPECT_TRUE(content.ok()) << data;
    return content.ok() ? content.value().fields.front().symbol : nullptr;
}

// The symbol's modules from its first bar to its last, a dot a character as the emulator
// draws bars.
std::string modulesAsDots(const render::EncodedSymbol& symbol, int moduleDots) {
    std::string dots;
    for (int column = 0; column < symbol.columns; ++column) {
        dots.append(static_cast<std::size_t>(moduleDots), symbol.isDark(column) ? '1' : '0');
    }
    dots.resize(dots.find_last_of('1') + 1);
    return dots;
}

TEST(ZplBarcodes, EachSymbologyBecomesItsOwnCommandDrawingTheRenderersBars) {
    struct Row {
        int row;
        Symbology symbology;
        std::string data;
        int rotationDeg;
        std::string command;  // empty: no native command draws it
        std::string params;
        std::string readable;  // what the printed symbol reads (QR: the decoded text)
        char qrMode = 0;       // QR: A automatic, or the manual character mode
        int topDots = 40;      // where the symbol begins
    };
    const std::vector<Row> rows{
        {1, Symbology::Ean13, "4901234567894", 0, "BE", "N,80,N,N", "4901234567894"},
        {2, Symbology::Ean8, "49123456", 90, "B8", "R,80,N,N", "49123456"},
        {3, Symbology::Code128, "R2612-0001", 0, "BC", "N,80,N,N,N,N", "R2612-0001"},
        {4, Symbology::Code128, "12345678", 0, "BC", "N,80,N,N,N,N", "12345678"},
        {5, Symbology::Code128, "A>B^C~D_1234567", 0, "BC", "N,80,N,N,N,N", "A>B^C~D_1234567"},
        {6, Symbology::Gs1_128, "(01)04912345678904(10)LOT1", 0, "BC", "N,80,N,N,N,N", "010491234567890410LOT1"},
        {7, Symbology::Code39, "ABC-123", 180, "B3", "I,N,80,N,N", "ABC-123"},
        {8, Symbology::Nw7, "A123456B", 0, "BK", "N,N,80,N,N,A,B", "A123456B"},
        {9, Symbology::Itf14, "14901234567891", 270, "B2", "B,80,N,N,N", "14901234567891"},
        {10, Symbology::Qr, "TSB|C2612-00031|4581209301076|30|20261209", 0, "BQ", "N,2,3,M",
         "TSB|C2612-00031|4581209301076|30|20261209", 'A'},
        {11, Symbology::Qr, "漢字テスト", 0, "BQ", "N,2,3,M", "漢字テスト", 'K'},
        {12, Symbology::Qr, "TSB|北海道_^~", 0, "", "", ""},  // UTF-8 with its ECI: a graphic
        {13, Symbology::Qr, "TSB", 90, "", "", ""},            // ^BQ prints upright only
        {14, Symbology::Qr, "TSB", 0, "BQ", "N,2,3,M", "TSB", 'A', 10},
        {15, Symbology::Qr, "TSB", 0, "", "", "", 0, 9},  // a printer prints ^BQ 10 dots below ^FO at least
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        const auto symbol = symbolOf(row.symbology, row.data);
        ASSERT_TRUE(symbol);
        const auto sent = barcodeField(*symbol, BarcodePlacement{{30, row.topDots, false}, row.rotationDeg, 3, 80});
        ASSERT_EQ(sent.has_value(), !row.command.empty());
        if (!sent) continue;
        const zplsim::Label label = decodeOne(*sent);
        ASSERT_EQ(label.fields.size(), 1u);
        const zplsim::Field& field = label.fields[0];
        EXPECT_EQ(field.command, row.command);
        EXPECT_EQ(field.params, row.params);
        EXPECT_EQ(field.xDots, 30);
        EXPECT_EQ(field.yDots, row.topDots) << "the emulator places it as printers do";
        EXPECT_EQ(field.bar.moduleWidthDots, 3);
        if (row.qrMode == 0) {
            EXPECT_EQ(field.bar.heightDots, 80);
            const zplsim::BarcodeBars drawn = zplsim::barcodeBars(field);
            EXPECT_EQ(drawn.error, "");
            EXPECT_EQ(drawn.bars, modulesAsDots(*symbol, 3)) << "the printer draws the renderer's bars";
            EXPECT_EQ(drawn.readable, row.readable);
            continue;
        }
        const zplsim::QrContent qr = zplsim::readQrData(field.data);
        EXPECT_EQ(qr.error, "");
        EXPECT_EQ(qr.text, row.readable);
        EXPECT_EQ(row.qrMode == 'A' ? qr.inputMode : qr.characterMode, row.qrMode);
    }
}

TEST(ZplText, CharactersThatWouldEndAFieldComeBackAsSent) {
    const zplsim::Label label = decodeOne(textField({.origin = {12, 34, true}, .rotationDeg = 90, .heightDots = 28, .widthDots = 20, .text = "Lot_7 ^A~HS\tend"}));
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
        const auto labels = decodeAll(formatStart(320, 160) + textField({.origin = {0, 0, false}, .heightDots = 20, .text = "x"}) +
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


// The part of a picture inside a box, the rest white: one barcode alone for zbar.
render::Raster paintedPart(const render::Raster& picture, const render::DotRect& box) {
    render::Raster part = render::Raster::blank(picture.widthDots, picture.heightDots, 203);
    for (int y = std::max(0, box.yDots); y < std::min(picture.heightDots, box.bottomDots()); ++y) {
        for (int x = std::max(0, box.xDots); x < std::min(picture.widthDots, box.rightDots()); ++x) {
            if (picture.isBlack(x, y)) paint(part, x, y);
        }
    }
    return part;
}

// What the printer prints of a decoded label, as the emulator draws it: graphics, bars of
// linear barcodes and text in downloaded bitmap fonts; not QR codes, nor text in resident or
// TrueType fonts.
render::Raster printedPicture(const zplsim::Label& label) {
    const zplsim::LabelPicture picture = zplsim::labelPicture(label);
    render::Raster raster = render::Raster::blank(picture.dots.widthDots, picture.dots.heightDots, 203);
    for (int y = 0; y < raster.heightDots; ++y) {
        for (int x = 0; x < raster.widthDots; ++x) {
            if (picture.dots.isBlack(x, y)) paint(raster, x, y);
        }
    }
    return raster;
}

// Which dots have a black dot within one dot of them, row by row.
std::vector<char> blackNearby(const render::Raster& raster) {
    const auto at = [&](int x, int y) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(raster.widthDots) + static_cast<std::size_t>(x); };
    std::vector<char> across(static_cast<std::size_t>(raster.widthDots) * static_cast<std::size_t>(raster.heightDots), 0);
    for (int y = 0; y < raster.heightDots; ++y) {
        for (int x = 0; x < raster.widthDots; ++x) {
            if (!raster.isBlack(x, y)) continue;
            for (int nx = std::max(0, x - 1); nx <= std::min(raster.widthDots - 1, x + 1); ++nx) across[at(nx, y)] = 1;
        }
    }
    std::vector<char> near(across.size(), 0);
    for (int y = 0; y < raster.heightDots; ++y) {
        for (int x = 0; x < raster.widthDots; ++x) {
            if (!across[at(x, y)]) continue;
            for (int ny = std::max(0, y - 1); ny <= std::min(raster.heightDots - 1, y + 1); ++ny) near[at(x, ny)] = 1;
        }
    }
    return near;
}

render::DotRect intersection(const render::DotRect& a, const render::DotRect& b) {
    const int left = std::max(a.xDots, b.xDots);
    const int top = std::max(a.yDots, b.yDots);
    return {left, top, std::max(0, std::min(a.rightDots(), b.rightDots()) - left),
            std::max(0, std::min(a.bottomDots(), b.bottomDots()) - top)};
}

bool contains(const render::DotRect& rect, int x, int y) {
    return x >= rect.xDots && y >= rect.yDots && x < rect.rightDots() && y < rect.bottomDots();
}

// The field box on the label that holds a point (the innermost, by area).
render::DotRect boxHolding(const render::LabelLayout& layout, int x, int y) {
    render::DotRect found{0, 0, layout.widthDots, layout.heightDots};
    const auto consider = [&](const render::DotRect& box) {
        if (contains(box, x, y) && box.widthDots * box.heightDots < found.widthDots * found.heightDots) found = box;
    };
    for (const auto& element : layout.texts) consider(element.placement.box);
    for (const auto& element : layout.barcodes) consider(element.placement.box);
    return found;
}

render::DotRect inkWithin(const render::Raster& raster, const render::DotRect& area) {
    int left = area.rightDots(), top = area.bottomDots(), right = area.xDots, bottom = area.yDots;
    for (int y = std::max(0, area.yDots); y < std::min(raster.heightDots, area.bottomDots()); ++y) {
        for (int x = std::max(0, area.xDots); x < std::min(raster.widthDots, area.rightDots()); ++x) {
            if (!raster.isBlack(x, y)) continue;
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x + 1);
            bottom = std::max(bottom, y + 1);
        }
    }
    return right <= left ? render::DotRect{} : render::DotRect{left, top, right - left, bottom - top};
}

int fontParameter(const std::string& font, std::size_t index) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < index; ++i) at = font.find(',', at) + 1;
    return std::atoi(font.c_str() + at);
}

// The renderer's texts alone, without bars and statics, whose ink would run into theirs.
render::Raster textsAlone(render::LabelRenderer& renderer, render::LabelLayout layout) {
    layout.statics.clear();
    for (render::BarcodeElement& element : layout.barcodes) element.darkRects.clear();
    return renderer.paint(layout);
}

std::size_t characterCount(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Where a line in a font of the printer goes: its ^FT point and the renderer's ink of it,
// which begins at the point (or inside the ^FB block) and sits on the baseline. No
// character is wider than the width parameter.
render::DotRect checkResidentLine(const zplsim::Field& text, const render::LabelLayout& layout, const render::Raster& texts) {
    SCOPED_TRACE("text \"" + text.data + "\" at " + std::to_string(text.xDots) + "," + std::to_string(text.yDots));
    EXPECT_EQ(text.origin, "FT");
    const int heightDots = fontParameter(text.font, 1);
    const int widthDots = fontParameter(text.font, 2);
    const int blockDots = text.block.empty() ? 0 : std::atoi(text.block.c_str());
    // A font file's width is rounded down to whole dots: its line may end a dot a character
    // short of the renderer's.
    const bool named = text.font.front() == '@';
    const int slackDots = named ? 3 : 2;
    const int lengthDots =
        blockDots > 0 ? blockDots : static_cast<int>(characterCount(text.data)) * (named ? widthDots + 1 : widthDots);
    const render::DotRect band = intersection(
        {text.xDots - 3, text.yDots - heightDots - 2, lengthDots + 2 * slackDots + 2, heightDots + heightDots / 3 + 4},
        boxHolding(layout, text.xDots + 1, text.yDots - 1));
    const render::DotRect ink = inkWithin(texts, band);
    EXPECT_GT(ink.widthDots, 0) << "the renderer draws the line here";
    if (blockDots == 0 && !named) {  // full-width glyphs' ink begins inside their em
        EXPECT_NEAR(ink.xDots, text.xDots, 3);
    }
    EXPECT_GE(ink.xDots, text.xDots - 2);
    EXPECT_LE(ink.rightDots(), text.xDots + lengthDots + slackDots);
    EXPECT_NEAR(ink.bottomDots(), text.yDots, heightDots / 4 + 2) << "on the baseline";
    return band;
}

// Every line the renderer sets in Japanese, unless condensed below the font's smallest
// width, goes in the printer's Japanese font, as the renderer shows it, on its baseline and from its line start (a centred or right-aligned
// line: its block from the renderer's area).
void checkJapaneseLines(const zplsim::Label& label, const render::LabelLayout& layout, const std::string& fontName) {
    for (const render::TextElement& element : layout.texts) {
        if (element.atDefault || !element.block.shaped || element.block.asciiOnly) continue;
        const bool inBlock = element.block.align != Align::Left;
        for (const render::TextLine& line : element.block.lines) {
            if (!japaneseFontSize(line.shownText, element.block.fontSizeDots, line.widthDots)) continue;  // too narrow: a picture
            SCOPED_TRACE("field " + std::to_string(element.fieldNumber) + " line \"" + line.shownText + "\"");
            const render::DotRect start =
                element.placement.toLabel({inBlock ? element.block.area.xDots : line.xDots, line.baselineDots, 0, 0});
            const auto distance = [&](const zplsim::Field& field) {
                const bool same = field.kind == zplsim::FieldKind::Text && field.data == line.shownText;
                return same ? std::abs(field.xDots - start.xDots) + std::abs(field.yDots - start.yDots) : INT_MAX;
            };
            const auto sent = std::min_element(label.fields.begin(), label.fields.end(),
                                               [&](const zplsim::Field& a, const zplsim::Field& b) { return distance(a) < distance(b); });
            ASSERT_TRUE(sent != label.fields.end() && distance(*sent) != INT_MAX) << "goes as text";
            EXPECT_EQ(sent->font.substr(0, 1), "@");
            EXPECT_EQ(sent->font.substr(sent->font.rfind(',') + 1), fontName);
            EXPECT_NEAR(sent->xDots, start.xDots, 2);
            EXPECT_NEAR(sent->yDots, start.yDots, 2);
        }
    }
}

std::string scannedForm(const render::EncodedSymbol& symbol) {
    if (symbol.symbology != Symbology::Gs1_128) return symbol.data;
    std::string digits;
    for (char c : symbol.data) {
        if (c != '(' && c != ')') digits += c;
    }
    return digits;
}

// The sample jobs' first three labels (the later ones recall what the first stored) with a
// Japanese font in the printer, whose fonts draw the text: what the printer prints lies where
// the renderer draws, dot for dot within a dot; text lines start on the renderer's
// baselines; every barcode reads as its field's data.
TEST(ZplLabels, WithAJapaneseFontTextGoesInThePrintersFontsWhereTheRendererDrawsIt) {
    const auto jobs = testing_support::sampleJobs();
    for (std::size_t row = 0; row < jobs.size(); ++row) {
        const testing_support::SampleJob& job = jobs[row];
        const std::string japaneseFont = "E:NAME.TTF";
        SCOPED_TRACE(::testing::Message() << row + 1 << " " << job.format);
        const LabelFormat format = testing_support::sampleFormat(job);
        const auto values = testing_support::sampleLabels(job, format);
        auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
        const auto encoder = makeLabelEncoder({203, GraphicCompression::Z64, false, japaneseFont});
        std::vector<zplsim::Label> printed;
        zplsim::Decoder decoder(zplsim::DecoderEvents{[&](zplsim::Label label) { printed.push_back(std::move(label)); },
                                                       nullptr, nullptr, nullptr, nullptr, nullptr});
        const std::size_t labels = 3;  // CARD1's third has a name cut with "…"
        for (std::size_t number = 0; number < labels; ++number) {
            SCOPED_TRACE(::testing::Message() << "label " << number + 1);
            const auto content = renderer.content(values[number]).value();
            decoder.feed(encoder->encodeIssue({renderer, content, 1, false}));
            ASSERT_EQ(printed.size(), number + 1);
            const zplsim::Label& label = printed.back();
            EXPECT_TRUE(label.errors.empty()) << label.errors.front();
            const render::LabelLayout layout = renderer.layOut(content, 203);
            const render::Raster drawn = renderer.paint(layout);
            const render::Raster picture = printedPicture(label);
            const render::Raster texts = textsAlone(renderer, layout);
            std::vector<render::DotRect> apart;  // resident text and QR codes
            for (const zplsim::Field& field : label.fields) {
                if (field.kind == zplsim::FieldKind::Text) apart.push_back(checkResidentLine(field, layout, texts));
            }
            checkJapaneseLines(label, layout, japaneseFont);
            for (const render::BarcodeElement& element : layout.barcodes) {
                if (!element.symbol) continue;
                const render::DotRect bars = element.placement.toLabel(element.symbolRect);
                if (element.symbol->isMatrix()) {
                    apart.push_back(element.placement.box);
                    const auto qr = std::find_if(label.fields.begin(), label.fields.end(),
                                                 [](const zplsim::Field& field) { return field.command == "BQ"; });
                    ASSERT_NE(qr, label.fields.end());
                    EXPECT_EQ(zplsim::readQrData(qr->data).text, element.symbol->data);
                    const render::DotRect ink = inkWithin(drawn, element.placement.box);
                    EXPECT_NEAR(qr->xDots, ink.xDots, 2);
                    EXPECT_NEAR(qr->yDots, ink.yDots, 2);
                    EXPECT_EQ(qr->bar.moduleWidthDots, element.moduleDots);
                    continue;
                }
                const auto scanned = testing_support::scan(paintedPart(picture, element.placement.box));
                ASSERT_EQ(scanned.size(), 1u) << "field " << element.fieldNumber;
                EXPECT_EQ(scanned[0].data, scannedForm(*element.symbol));
                EXPECT_EQ(inkWithin(picture, bars), bars) << "field " << element.fieldNumber;
            }
            const auto nativeBarcodes = std::count_if(label.fields.begin(), label.fields.end(), [](const zplsim::Field& field) {
                return field.kind == zplsim::FieldKind::Barcode;
            });
            EXPECT_EQ(static_cast<std::size_t>(nativeBarcodes), layout.barcodes.size()) << "every sample barcode goes native";
            const std::vector<char> nearDrawn = blackNearby(drawn);
            const std::vector<char> nearPrinted = blackNearby(picture);
            int strayDots = 0;
            int missingDots = 0;
            for (int y = 0; y < layout.heightDots; ++y) {
                for (int x = 0; x < layout.widthDots; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(layout.widthDots) + static_cast<std::size_t>(x);
                    if (picture.isBlack(x, y) && !nearDrawn[at]) ++strayDots;
                    if (!drawn.isBlack(x, y) || nearPrinted[at]) continue;
                    const bool lookedAtApart = std::any_of(apart.begin(), apart.end(),
                                                           [&](const render::DotRect& rect) { return contains(rect, x, y); });
                    if (!lookedAtApart) ++missingDots;
                }
            }
            EXPECT_EQ(strayDots, 0) << "printed where the renderer draws nothing";
            EXPECT_EQ(missingDots, 0) << "drawn by the renderer but not printed";
        }
    }
}

// A job on the emulator: every label sent as the control sends it and printed, compared dot
// for dot with the renderer's picture; only QR codes, which the emulator does not draw, are
// looked at apart (their data, place and module). Every linear barcode reads, and the end of
// the job leaves nothing stored in the printer. Gives what the last label was sent as.
std::string printJobAndCompare(const testing_support::SampleJob& job, const EncoderSettings& settings, int passes) {
    const LabelFormat format = testing_support::sampleFormat(job);
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    const auto encoder = makeLabelEncoder(settings);
    std::vector<zplsim::Label> printed;
    std::vector<std::string> rejected;
    zplsim::Decoder decoder(zplsim::DecoderEvents{[&](zplsim::Label label) { if (label.prints()) printed.push_back(std::move(label)); },
                                                   nullptr, nullptr, nullptr,
                                                   [&](const std::string& error) { rejected.push_back(error); }, nullptr});
    const auto values = testing_support::sampleLabels(job, format);
    std::string sent;
    for (std::size_t number = 0; number < values.size() * static_cast<std::size_t>(passes); ++number) {
        SCOPED_TRACE(::testing::Message() << "label " << number + 1);
        const auto content = renderer.content(values[number % values.size()]).value();
        sent = encoder->encodeIssue({renderer, content, 1, false});
        decoder.feed(sent);
        EXPECT_EQ(printed.size(), number + 1);
        if (printed.size() != number + 1 || !rejected.empty()) {
            ADD_FAILURE() << (rejected.empty() ? "" : rejected.front());
            return sent;
        }
        const zplsim::Label& label = printed.back();
        const render::LabelLayout layout = renderer.layOut(content, settings.dotsPerInch);
        const render::Raster drawn = renderer.paint(layout);
        const render::Raster picture = printedPicture(label);
        EXPECT_EQ(picture.widthDots, drawn.widthDots);
        EXPECT_EQ(picture.heightDots, drawn.heightDots);
        std::vector<render::DotRect> qrCodes;
        for (const render::BarcodeElement& element : layout.barcodes) {
            if (!element.symbol) continue;
            const render::DotRect bars = element.placement.toLabel(element.symbolRect);
            if (!element.symbol->isMatrix()) {
                const auto scanned = testing_support::scan(paintedPart(picture, element.placement.box));
                EXPECT_EQ(scanned.size(), 1u) << "field " << element.fieldNumber;
                if (!scanned.empty()) {
                    EXPECT_EQ(scanned[0].data, scannedForm(*element.symbol));
                }
                continue;
            }
            qrCodes.push_back(bars);
            const auto qr = std::find_if(label.fields.begin(), label.fields.end(),
                                         [](const zplsim::Field& field) { return field.command == "BQ"; });
            EXPECT_NE(qr, label.fields.end());
            if (qr == label.fields.end()) continue;
            EXPECT_EQ(zplsim::readQrData(qr->data).text, element.symbol->data);
            EXPECT_EQ(qr->bar.moduleWidthDots, element.moduleDots);
            EXPECT_NEAR(qr->xDots, bars.xDots, 2);
        }
        EXPECT_EQ(zplsim::labelPicture(label).undrawn.size(), qrCodes.size());
        for (const render::DotRect& qrCode : qrCodes) {
            EXPECT_EQ(inkWithin(picture, qrCode).widthDots, 0) << "the emulator draws no QR code: it differs there only";
        }
        int differing = 0;
        for (int y = 0; y < std::min(drawn.heightDots, picture.heightDots); ++y) {
            for (int x = 0; x < std::min(drawn.widthDots, picture.widthDots); ++x) {
                const bool inQrCode = std::any_of(qrCodes.begin(), qrCodes.end(),
                                                  [&](const render::DotRect& rect) { return contains(rect, x, y); });
                if (!inQrCode && picture.isBlack(x, y) != drawn.isBlack(x, y)) ++differing;
            }
        }
        EXPECT_EQ(differing, 0) << "dots that differ from the renderer's picture";
    }
    decoder.feed(encoder->endOfJob());
    EXPECT_TRUE(decoder.storedGraphics().empty() && decoder.storedFonts().empty() && decoder.storedFormats().empty())
        << "the job's end frees the printer's memory";
    return sent;
}

// Every label of every sample job at both resolutions, with the renderer's glyphs as bitmap
// fonts of the printer and (at 203 dpi) as pictures, for a printer with little memory.
TEST(ZplLabels, EverySampleLabelPrintsTheRenderersPictureDotForDot) {
    struct Row {
        int dotsPerInch;
        bool glyphFonts;
    };
    for (const Row& row : {Row{203, true}, Row{300, true}, Row{203, false}}) {
        for (const testing_support::SampleJob& job : testing_support::sampleJobs()) {
            SCOPED_TRACE(::testing::Message() << job.format << " at " << row.dotsPerInch << (row.glyphFonts ? "" : " as pictures"));
            printJobAndCompare(job, {row.dotsPerInch, GraphicCompression::Z64, false, "", row.glyphFonts}, 1);
        }
    }
}

// A long job of the same records: the fonts of each face are gathered from their fragments
// and lines become data of the stored format (^FN), still dot for dot; the last label
// downloads nothing and recalls the stored format.
TEST(ZplLabels, ALongJobGathersItsFontsAndSendsLinesAsDataOfTheStoredFormat) {
    const std::string last =
        printJobAndCompare(testing_support::sampleJobs()[4], {203, GraphicCompression::Z64, false, "", true}, 15);
    EXPECT_TRUE(last.starts_with("^XA^XF")) << last.substr(0, 80);
    EXPECT_NE(last.find("^FN1000^FD"), std::string::npos) << last;
}

}  // namespace
}  // namespace zpl
