// SPDX-License-Identifier: MIT
// Tables of edge cases: text that does not fit or is turned, every symbology's checks
// read back with zbar, static elements, and the PNG writer read back by cairo.
#include <cairo.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "raster_reading.h"
#include "render/png.h"

namespace {

using testing_support::inkBounds;
constexpr int kDpi = 203;

// A 60 × 40 mm format with the fields and static elements given as JSON arrays.
labelformat::Outcome<labelformat::LabelFormat> formatWith(const std::string& fields, const std::string& statics) {
    return labelformat::parseLabelFormat(R"({"usePrinter": 1, "label": {"widthMm": 60, "heightMm": 40}, "fields": )" +
                                     fields + R"(, "static": )" + statics + "}");
}

std::string field(const std::string& type, double widthMm, double heightMm, int rotation, const std::string& more) {
    return R"([{"number": 1, "type": ")" + type + R"(", "xMm": 2, "yMm": 2, "widthMm": )" + std::to_string(widthMm) +
           R"(, "heightMm": )" + std::to_string(heightMm) + R"(, "rotation": )" + std::to_string(rotation) + ", " +
           more + "}]";
}

render::LabelRenderer rendererFor(const std::string& fields, const std::string& statics = "[]",
                                  const std::filesystem::path& folder = {}) {
    auto format = formatWith(fields, statics);
    EXPECT_TRUE(format.ok());
    EXPECT_FALSE(labelformat::findLayoutError(format.value()));
    format.value().directory = folder;
    auto renderer = render::LabelRenderer::create(format.value(), render::Fonts::loadWhenNeeded());
    EXPECT_TRUE(renderer.ok());
    return std::move(renderer.value());
}

render::LabelLayout layOut(render::LabelRenderer& renderer, const std::string& text, int dotsPerInch = kDpi) {
    const auto content = renderer.content({{1, text}});
    EXPECT_TRUE(content.ok());
    return renderer.layOut(content.value(), dotsPerInch);
}

enum class Fit { Natural, Condensed, CondensedAndCut };
enum class Side { Left, Right, Top, Bottom };  // where the start of a left-aligned line lands

struct TextRow {
    int row;
    std::string text;
    double widthMm;
    double heightMm;
    int rotation;
    const char* align;
    bool wrap;
    Fit fit;
    std::size_t lines;
    Side start;
};

std::string repeated(const std::string& text, std::size_t times) {
    std::string all;
    all.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) all += text;
    return all;
}

// Texts of any length: the first lines that fit, the last ending in "…". Laid out whole, the
// long ones overflowed pango's units: a line shifted left and clipped without "…", or a
// black band of overprinted lines.
TEST(Drawing, TextIsCondensedThenCutWrappedAndTurnedInsideItsBox) {
    const std::string name = "入荷ラベル";  // 10 pt: about 17.6 mm
    const std::string manyWords = repeated("漢字ABC ", 20000);
    const std::string millionKana = repeated("あ", 1000000);
    const std::vector<TextRow> rows{
        {1, name, 40, 8, 0, "left", false, Fit::Natural, 1, Side::Left},
        {2, name, 40, 8, 0, "right", false, Fit::Natural, 1, Side::Right},
        {3, name + name, 25, 8, 0, "left", false, Fit::Condensed, 1, Side::Left},
        {4, name + name + name, 20, 8, 0, "left", false, Fit::CondensedAndCut, 1, Side::Left},
        {5, name, 8, 30, 90, "left", false, Fit::Natural, 1, Side::Top},
        {6, name, 40, 8, 180, "left", false, Fit::Natural, 1, Side::Right},
        {7, name, 8, 30, 270, "left", false, Fit::Natural, 1, Side::Bottom},
        {8, name + name + name, 20, 16, 0, "left", true, Fit::Natural, 3, Side::Left},
        {9, name + name + name, 20, 8, 0, "left", true, Fit::CondensedAndCut, 1, Side::Left},
        {10, name + name + name, 16, 20, 90, "left", true, Fit::Natural, 3, Side::Top},
        {11, manyWords, 56, 20, 0, "left", true, Fit::CondensedAndCut, 3, Side::Left},
        {12, millionKana, 56, 20, 0, "left", true, Fit::CondensedAndCut, 3, Side::Left},
        {13, millionKana, 56, 8, 0, "left", false, Fit::CondensedAndCut, 1, Side::Left},
        {14, manyWords, 56, 8, 0, "right", false, Fit::CondensedAndCut, 1, Side::Right},
        {15, repeated("行\n", 100), 20, 12, 0, "left", true, Fit::CondensedAndCut, 2, Side::Left},  // paragraphs
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.row);
        auto renderer = rendererFor(field("text", row.widthMm, row.heightMm, row.rotation,
                                          R"("align": ")" + std::string(row.align) + R"(", "wrap": )" +
                                              (row.wrap ? "true" : "false")));
        const render::LabelLayout layout = layOut(renderer, row.text);
        const render::TextElement& element = layout.texts.at(0);
        const render::TextBlock& block = element.block;
        EXPECT_EQ(block.condense == 1.0, row.fit == Fit::Natural);
        EXPECT_EQ(block.condense == render::kMinimumCondense, row.fit == Fit::CondensedAndCut);
        EXPECT_EQ(block.clipped, row.fit == Fit::CondensedAndCut);
        ASSERT_EQ(block.lines.size(), row.lines);
        EXPECT_TRUE(row.text.starts_with(block.lines.front().text)) << "the first line first";
        int baselineAbove = INT_MIN;
        for (const render::TextLine& line : block.lines) {  // as the layout measures them: in the box, one under another
            EXPECT_TRUE(line.xDots >= 0 && line.xDots + line.widthDots <= block.area.widthDots + 1) << line.xDots << "+" << line.widthDots;
            EXPECT_GT(line.baselineDots, baselineAbove);
            baselineAbove = line.baselineDots;
        }
        const render::TextLine& last = block.lines.back();  // what a printer's font is sent
        if (row.fit == Fit::CondensedAndCut) {
            ASSERT_TRUE(last.shownText.ends_with("…")) << last.shownText;
            const std::string kept = last.shownText.substr(0, last.shownText.size() - std::string("…").size());
            EXPECT_TRUE(!kept.empty() && last.text.starts_with(kept)) << last.shownText;
        } else {
            EXPECT_EQ(last.shownText, last.text);
        }

        const render::DotRect box = element.placement.box;
        const render::DotRect ink = inkBounds(testing_support::paintAlone(renderer, layout, 1));
        ASSERT_GT(ink.widthDots, 0);
        EXPECT_TRUE(testing_support::inside(ink, box));
        EXPECT_TRUE(row.wrap || (ink.widthDots > ink.heightDots) == (row.rotation % 180 == 0));
        constexpr int kNear = 4;
        switch (row.start) {
            case Side::Left: EXPECT_LE(ink.xDots - box.xDots, kNear); break;
            case Side::Right: EXPECT_LE(box.rightDots() - ink.rightDots(), kNear); break;
            case Side::Top: EXPECT_LE(ink.yDots - box.yDots, kNear); break;
            case Side::Bottom: EXPECT_LE(box.bottomDots() - ink.bottomDots(), kNear); break;
        }
    }
}

struct BarcodeRow {
    int row;
    const char* symbology;
    std::string text;
    std::string encoded;  // empty: refused with 1302
    std::string scanned;
    int rotation = 0;
};

TEST(Drawing, EverySymbologyTakesWhatItCanEncodeAndReadsBack) {
    const std::vector<BarcodeRow> rows{
        {1, "EAN13", "457112340015", "4571123400153", "4571123400153"},
        {2, "EAN13", "4571123400154", "", ""},
        {3, "EAN13", "45711234001X", "", ""},
        {4, "EAN13", "４５７１１２３４００１５", "", ""},
        {5, "EAN8", "4912301", "49123012", "49123012", 90},
        {6, "ITF14", "1457112340015", "14571123400150", "14571123400150"},
        {7, "ITF14", "14571123400151", "", ""},
        {8, "CODE39", "ABC-12", "ABC-12", "ABC-12"},
        {9, "CODE39", "abc", "", ""},
        {10, "NW7", "12345", "A12345A", "A12345A"},
        {11, "NW7", "b123c", "B123C", "B123C", 180},
        {12, "CODE128", "N2612-0041-01", "N2612-0041-01", "N2612-0041-01"},
        {13, "CODE128", "入荷", "", ""},
        {14, "CODE128", std::string(40, 'X'), "", ""},  // wider than the box at 203 dpi
        {15, "GS1-128", "(01)14571123400150(10)ABC", "(01)14571123400150(10)ABC", "011457112340015010ABC"},
        {16, "GS1-128", "(01)123", "", ""},
        // Each identifier's format, check digit and dates, as the GS1 standard gives them.
        {18, "GS1-128", "(01)14571123400151", "", ""},  // wrong check digit
        {19, "GS1-128", "(01)ABCDEFGHIJKLMN", "", ""},
        {20, "GS1-128", "(17)991399", "", ""},  // no 13th month
        {21, "GS1-128", "(17)240230", "", ""},  // no 30 February
        {22, "GS1-128", "(17)230229", "", ""},  // nor 29 in a common year
        {23, "GS1-128", "(17)240229(10)L1", "(17)240229(10)L1", "1724022910L1"},
        {24, "GS1-128", "(15)261200", "(15)261200", "15261200"},  // day 00: the month's end
        {25, "GS1-128", "[00]045711234000000016", "[00]045711234000000016", "00045711234000000016"},
        {26, "GS1-128", "(00)045711234000000017", "", ""},
        {27, "GS1-128", "(10)LOT-7(21)S12", "(10)LOT-7(21)S12", "10LOT-7\x1d" "21S12"},  // FNC1 after a variable length
        {28, "GS1-128", "(10)" + std::string(21, 'A'), "", ""},  // at most 20 characters
        {29, "GS1-128", "(10)", "", ""},
        {30, "GS1-128", "(10)LOT~1", "", ""},  // not in GS1's 82 characters
        {31, "GS1-128", "(3103)001250(410)4571123400009", "(3103)001250(410)4571123400009", "31030012504104571123400009"},
        {32, "GS1-128", "(3106)001250", "", ""},  // the decimal point's place is 0 to 5
        {33, "GS1-128", "(410)4571123400008", "", ""},
        {34, "GS1-128", "(30)123456789", "", ""},  // at most 8 digits
        {35, "GS1-128", "(99)" + std::string(47, '7'), "", ""},  // 49 characters: more than a symbol holds
        {36, "GS1-128", "(99)" + std::string(46, '7'), "(99)" + std::string(46, '7'), "99" + std::string(46, '7')},
        {37, "GS1-128", "01)14571123400150", "", ""},
        {17, "QR", "納品カード|4581209301076", "納品カード|4581209301076", "納品カード|4581209301076", 270},
    };
    for (const BarcodeRow& row : rows) {
        SCOPED_TRACE(row.row);
        auto renderer = rendererFor(field("barcode", row.rotation % 180 ? 36 : 56, row.rotation % 180 ? 36 : 25,
                                          row.rotation, R"("symbology": ")" + std::string(row.symbology) + R"(")"));
        std::string why;
        const auto content = renderer.content({{1, row.text}}, &why);
        ASSERT_EQ(content.ok(), !row.encoded.empty()) << why;
        if (!content.ok()) {
            EXPECT_EQ(content.error(), labelformat::ErrorNumber::FormatLayoutError);
            EXPECT_TRUE(why.starts_with("field 1 (" + std::string(row.symbology) + "): ")) << why;
            continue;
        }
        EXPECT_EQ(content.value().fields.at(0).symbol->data, row.encoded);
        for (const int dotsPerInch : {203, 300}) {
            const auto scanned = testing_support::scan(renderer.paintField(renderer.layOut(content.value(), dotsPerInch), 1));
            ASSERT_EQ(scanned.size(), 1u) << dotsPerInch;
            EXPECT_EQ(scanned[0].data, row.scanned);
            EXPECT_EQ(scanned[0].gs1, row.symbology == std::string("GS1-128"));
        }
    }
    auto renderer = rendererFor(field("barcode", 56, 25, 0, R"("symbology": "EAN13")"));
    const auto empty = renderer.content({{1, ""}});
    ASSERT_TRUE(empty.ok()) << "an empty barcode field draws nothing";
    EXPECT_FALSE(empty.value().fields.at(0).symbol);
}

struct StaticRow {
    int row;
    std::string element;
    double blackXMm, blackYMm;
    double whiteXMm, whiteYMm;
};

// A 2 × 2 PNG: black on the left, transparent on the right (or white, when opaque: a PNG
// without alpha).
void writeHalfBlackPng(const std::filesystem::path& file, bool opaque = false) {
    const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, 2, 2), cairo_surface_destroy);
    const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    if (opaque) {
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_paint(cr.get());
        cairo_set_source_rgb(cr.get(), 0, 0, 0);
    }
    cairo_rectangle(cr.get(), 0, 0, 1, 2);
    cairo_fill(cr.get());
    cairo_surface_write_to_png(surface.get(), file.c_str());
}

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFFu);
}

void appendChunk(std::string& out, const std::string& type, const std::string& data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = type + data;
    out += typed;
    appendBigEndian(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

// A white 1-bit PNG, compressed a row at a time: a file of a few kilobytes may stand for a
// picture of gigabytes.
void writeWhitePng(const std::filesystem::path& file, std::uint32_t width, std::uint32_t height, char interlace = 0) {
    std::string header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header += std::string{1, 0, 0, 0, interlace};  // 1 bit, greyscale, deflate, no filter
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    std::string row(1 + (width + 7) / 8, '\xff');
    row[0] = 0;  // no filter
    std::string compressed;
    std::array<char, 65536> buffer{};
    for (std::uint32_t y = 0; y < height; ++y) {
        stream.next_in = reinterpret_cast<Bytef*>(row.data());
        stream.avail_in = static_cast<uInt>(row.size());
        const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = static_cast<uInt>(buffer.size());
            deflate(&stream, flush);
            compressed.append(buffer.data(), buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    std::string png = "\x89PNG\r\n\x1a\n";
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", "");
    std::ofstream(file, std::ios::binary) << png;
}

TEST(Drawing, StaticElementsCoverTheirDotsAndImagesAreThresholded) {
    const auto folder = std::filesystem::temp_directory_path() / ("render-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    writeHalfBlackPng(folder / "half.png");
    writeHalfBlackPng(folder / "opaque.png", true);
    const std::vector<StaticRow> rows{
        {1, R"({"type": "box", "xMm": 10, "yMm": 10, "widthMm": 20, "heightMm": 10, "lineWidthMm": 0.5})", 10.2, 15, 20, 15},
        {2, R"({"type": "box", "xMm": 10, "yMm": 10, "widthMm": 20, "heightMm": 10, "fill": true})", 20, 15, 31, 15},
        {3, R"({"type": "line", "xMm": 5, "yMm": 20, "x2Mm": 55, "y2Mm": 20, "lineWidthMm": 0.5})", 30, 20, 30, 21},
        {4, R"({"type": "line", "xMm": 30, "yMm": 5, "x2Mm": 30, "y2Mm": 35})", 30, 10, 31, 10},
        {5, R"({"type": "line", "xMm": 0, "yMm": 0, "x2Mm": 60, "y2Mm": 40, "lineWidthMm": 1})", 30, 20, 30, 30},
        {6, R"({"type": "image", "xMm": 10, "yMm": 10, "widthMm": 20, "heightMm": 20, "file": "half.png"})", 12, 20, 28, 20},
        {7, R"({"type": "image", "xMm": 10, "yMm": 10, "widthMm": 20, "heightMm": 20, "file": "opaque.png"})", 12, 20, 28, 20},
    };
    const auto dot = [](double mm) { return render::mmToDots(mm, kDpi); };
    for (const StaticRow& row : rows) {
        SCOPED_TRACE(row.row);
        auto renderer = rendererFor("[]", "[" + row.element + "]", folder);
        const render::Raster raster = renderer.paint(layOut(renderer, ""));
        EXPECT_TRUE(raster.isBlack(dot(row.blackXMm), dot(row.blackYMm)));
        EXPECT_FALSE(raster.isBlack(dot(row.whiteXMm), dot(row.whiteYMm)));
    }
    std::ofstream(folder / "not.png") << "not a picture";
    // The limits docs/bcpctrl.md gives: 16,384 pixels a side, 16,777,216 in all, read from
    // the file's header. The bomb, a 65 KB file, took 4.2 GB and 24 s to decode.
    writeWhitePng(folder / "bomb.png", 23100, 23100);
    writeWhitePng(folder / "wide.png", 16385, 1);
    writeWhitePng(folder / "many.png", 4097, 4096);
    writeWhitePng(folder / "edge.png", 16384, 2);
    writeWhitePng(folder / "interlace-14.png", 16384, 1, 14);  // no such interlace method: found by the fuzzer
    for (const auto& [file, readable] : std::vector<std::pair<std::string, bool>>{
             {"missing.png", false}, {"not.png", false}, {"bomb.png", false}, {"wide.png", false}, {"many.png", false},
             {"edge.png", true}, {"interlace-14.png", false}}) {
        auto format = formatWith(
            "[]", R"([{"type": "image", "xMm": 1, "yMm": 1, "widthMm": 5, "heightMm": 5, "file": ")" + file + R"("}])");
        format.value().directory = folder;
        const auto renderer = render::LabelRenderer::create(format.value(), render::Fonts::loadWhenNeeded());
        EXPECT_EQ(renderer.ok(), readable) << file;
        if (!readable && !renderer.ok()) {
            EXPECT_EQ(renderer.error(), labelformat::ErrorNumber::FormatUnreadable) << file;
        }
    }
    std::filesystem::remove_all(folder);
}

// Odd widths leave unused bits in each row's last byte; the "up" filter needs every row.
TEST(Drawing, PngFilesReadBackDotForDot) {
    render::Raster raster;
    raster.widthDots = 13;
    raster.heightDots = 7;
    raster.dotsPerInch = 203;
    raster.strideBytes = 2;
    raster.bits.assign(raster.strideBytes * 7, 0);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            if ((x * y + x) % 3 == 0) {
                raster.bits[static_cast<std::size_t>(y * 2 + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    struct Reader {
        std::string png;
        std::size_t at = 0;
    } reader{render::encodePng(raster)};
    const auto read = [](void* closure, unsigned char* data, unsigned int length) {
        auto* from = static_cast<Reader*>(closure);
        if (from->at + length > from->png.size()) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, from->png.data() + from->at, length);
        from->at += length;
        return CAIRO_STATUS_SUCCESS;
    };
    const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create_from_png_stream(read, &reader), cairo_surface_destroy);
    ASSERT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(surface.get()), 13);
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, data + y * cairo_image_surface_get_stride(surface.get()) + x * 4, 4);
            EXPECT_EQ((pixel & 0xFFFFFFu) == 0, raster.isBlack(x, y)) << x << "," << y;
        }
    }
}

}  // namespace
