// SPDX-License-Identifier: MIT
#include "labelformat/label_format.h"

#include <functional>
#include <random>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace labelformat {
namespace {

using Json = nlohmann::json;

Json sampleFormat() {
    return Json::parse(R"({
      "usePrinter": 1,
      "label": {"widthMm": 60.0, "heightMm": 40.0},
      "fields": [
        {"number": 1, "type": "text", "xMm": 2.0, "yMm": 2.0, "widthMm": 56.0, "heightMm": 5.0,
         "rotation": 0, "font": {"family": "Serif", "sizePt": 12, "bold": true},
         "align": "center", "default": "ABC"},
        {"number": 11, "type": "barcode", "symbology": "GS1-128", "xMm": 5.0, "yMm": 20.0,
         "widthMm": 40.0, "heightMm": 15.0, "rotation": 270, "humanReadable": false}
      ]})");
}

Json staticBox() {
    return {{"type", "box"}, {"xMm", 40}, {"yMm", 30}, {"widthMm", 20}, {"heightMm", 10}, {"fill", true}};
}

std::optional<ErrorNumber> firstError(const Json& document) {
    const auto format = parseLabelFormat(document.dump());
    return format.ok() ? findLayoutError(format.value()) : format.error();
}

TEST(LabelFormat, ReadsEveryKeyOfTheSample) {
    const auto format = parseLabelFormat(sampleFormat().dump());
    ASSERT_TRUE(format.ok());
    const LabelFormat& f = format.value();
    EXPECT_EQ(f.usePrinter, 1);
    EXPECT_EQ(f.widthMm, 60.0);
    ASSERT_EQ(f.fields.size(), 2u);
    const LabelField& text = f.fields[0];
    EXPECT_EQ(text.type, FieldType::Text);
    EXPECT_EQ(text.font.family, "Serif");
    EXPECT_EQ(text.font.sizePt, 12.0);
    EXPECT_TRUE(text.font.bold);
    EXPECT_EQ(text.align, Align::Center);
    EXPECT_EQ(text.defaultText, "ABC");
    const LabelField* barcode = f.findField(11);
    ASSERT_NE(barcode, nullptr);
    EXPECT_EQ(barcode->symbology, Symbology::Gs1_128);
    EXPECT_EQ(barcode->rotationDeg, 270);
    EXPECT_FALSE(barcode->humanReadable);
    EXPECT_EQ(barcode->align, Align::Left);
    EXPECT_EQ(barcode->font.sizePt, 10.0);
    EXPECT_EQ(f.findField(2), nullptr);
}

struct MutationRow {
    int row;
    std::function<void(Json&)> mutate;
    std::optional<ErrorNumber> expected;
};

TEST(LabelFormat, StructureFaultsAre1300AndLayoutFaultsAre1302) {
    constexpr auto unreadable = ErrorNumber::FormatUnreadable;
    constexpr auto layout = ErrorNumber::FormatLayoutError;
    const std::vector<MutationRow> rows{
        {1, [](Json&) {}, std::nullopt},
        {2, [](Json& j) { j.erase("usePrinter"); }, unreadable},
        {3, [](Json& j) { j["usePrinter"] = "1"; }, unreadable},
        {4, [](Json& j) { j["usePrinter"] = 40000; }, unreadable},
        {5, [](Json& j) { j.erase("label"); }, unreadable},
        {6, [](Json& j) { j["label"]["widthMm"] = "60"; }, unreadable},
        {7, [](Json& j) { j["fields"] = Json::object(); }, unreadable},
        {8, [](Json& j) { j["fields"][0]["type"] = "image"; }, unreadable},
        {9, [](Json& j) { j["fields"][1]["symbology"] = "UPC"; }, unreadable},
        {10, [](Json& j) { j["fields"][1].erase("symbology"); }, unreadable},
        {11, [](Json& j) { j["fields"][0]["rotation"] = 45; }, unreadable},
        {12, [](Json& j) { j["fields"][0]["rotation"] = 90.0; }, unreadable},
        {13, [](Json& j) { j["fields"][0]["align"] = "justify"; }, unreadable},
        {14, [](Json& j) { j["fields"][0]["font"]["sizePt"] = 0; }, unreadable},
        {15, [](Json& j) { j["fields"][0]["font"]["bold"] = "yes"; }, unreadable},
        {16, [](Json& j) { j["fields"][0]["default"] = 5; }, unreadable},
        {17, [](Json& j) { j["fields"][0]["number"] = 1.5; }, unreadable},
        {18, [](Json& j) { j["fields"][0].erase("xMm"); }, unreadable},
        {19, [](Json& j) { j["fields"][0] = 1; }, unreadable},
        {20, [](Json& j) { j["fields"][0]["xMm"] = -0.1; }, layout},
        {21, [](Json& j) { j["fields"][0]["xMm"] = 4.1; }, layout},
        {22, [](Json& j) { j["fields"][1]["yMm"] = 25.5; }, layout},
        {23, [](Json& j) { j["fields"][1]["widthMm"] = 0; }, layout},
        {24, [](Json& j) { j["fields"][1]["number"] = 1; }, layout},
        {25, [](Json& j) { j["fields"][0]["number"] = 0; }, layout},
        {26, [](Json& j) { j["fields"][0]["number"] = 32768; }, layout},
        {27, [](Json& j) { j["fields"][0]["number"] = -5; }, layout},
        {28, [](Json& j) { j["label"]["heightMm"] = 0; }, layout},
        {29, [](Json& j) { j["fields"][0]["number"] = 32767; }, std::nullopt},
        {30, [](Json& j) { j["label"]["widthMm"] = 45.3; j["fields"][0]["xMm"] = 0.1; j["fields"][0]["widthMm"] = 45.2; },
         std::nullopt},  // 0.1 + 45.2 comes to a hair over 45.3 in binary
        {31, [](Json& j) { j["fields"] = Json::array(); }, std::nullopt},
        {32, [](Json& j) { for (auto key : {"align", "font", "default"}) j["fields"][0].erase(key); }, std::nullopt},
        {33, [](Json& j) { j["fields"][0]["wrap"] = "yes"; }, unreadable},
        {34, [](Json& j) { j["static"] = Json::object(); }, unreadable},
        {35, [](Json& j) { j["static"][0] = {{"type", "circle"}, {"xMm", 1}, {"yMm", 1}, {"widthMm", 1}, {"heightMm", 1}}; },
         unreadable},
        {36, [](Json& j) { j["static"][0] = {{"type", "line"}, {"xMm", 1}, {"yMm", 1}, {"x2Mm", 5}}; }, unreadable},
        {37, [](Json& j) { j["static"][0] = staticBox(); j["static"][0]["lineWidthMm"] = 0; }, unreadable},
        {38, [](Json& j) { j["static"][0] = staticBox(); j["static"][0]["type"] = "image"; }, unreadable},
        {39, [](Json& j) { j["static"][0] = staticBox(); j["static"][0]["xMm"] = 50.5; }, layout},
        {40, [](Json& j) { j["static"][0] = {{"type", "line"}, {"xMm", 0}, {"yMm", 40}, {"x2Mm", 60.1}, {"y2Mm", 40}}; },
         layout},
        {41, [](Json& j) { j["fields"][0]["wrap"] = true; j["static"][0] = staticBox(); j["static"][1] = {
                               {"type", "line"}, {"xMm", 0}, {"yMm", 40}, {"x2Mm", 60}, {"y2Mm", 0}}; },
         std::nullopt},
        // The limits docs/bcpctrl.md gives: labels up to 254 x 650 mm either way round,
        // type from 2 to 720 pt, no line wider than the label.
        {42, [](Json& j) { j["label"] = {{"widthMm", 254}, {"heightMm", 650}}; }, std::nullopt},
        {43, [](Json& j) { j["label"] = {{"widthMm", 650}, {"heightMm", 254}}; }, std::nullopt},
        {44, [](Json& j) { j["label"] = {{"widthMm", 254.5}, {"heightMm", 254.5}}; }, layout},
        {45, [](Json& j) { j["label"] = {{"widthMm", 60}, {"heightMm", 650.5}}; }, layout},
        {46, [](Json& j) { j["label"] = {{"widthMm", 10000}, {"heightMm", 10000}}; }, layout},
        {47, [](Json& j) { j["label"] = {{"widthMm", 1e300}, {"heightMm", 1e300}}; }, layout},  // overflowed the dots
        {48, [](Json& j) { j["fields"][0]["font"]["sizePt"] = 2; }, std::nullopt},
        {49, [](Json& j) { j["fields"][0]["font"]["sizePt"] = 720; }, std::nullopt},
        {50, [](Json& j) { j["fields"][0]["font"]["sizePt"] = 1e9; }, unreadable},
        {51, [](Json& j) { j["fields"][0]["font"]["sizePt"] = 1e-9; }, unreadable},
        {52, [](Json& j) { j["fields"][0]["font"]["sizePt"] = 1.9; }, unreadable},
        {53, [](Json& j) { j["static"][0] = staticBox(); j["static"][0]["lineWidthMm"] = 60.5; }, layout},
        {54, [](Json& j) { j["static"][0] = {{"type", "line"}, {"xMm", 0}, {"yMm", 0}, {"x2Mm", 60}, {"y2Mm", 0},
                                             {"lineWidthMm", 1e9}}; },
         layout},
    };
    for (const MutationRow& row : rows) {
        SCOPED_TRACE(row.row);
        Json document = sampleFormat();
        row.mutate(document);
        EXPECT_EQ(firstError(document), row.expected);
    }
}

// Written as text, since the JSON library keeps no integer past 64 bits.
TEST(LabelFormat, AFieldNumberOfAnyMagnitudeOutsideTheRangeIsALayoutFault) {
    const std::vector<std::pair<std::string, std::optional<ErrorNumber>>> rows{
        {"18446744073709551615", ErrorNumber::FormatLayoutError},
        {"18446744073709551616", ErrorNumber::FormatLayoutError},
        {"-9223372036854775809", ErrorNumber::FormatLayoutError},
        {std::string(400, '9'), ErrorNumber::FormatLayoutError},
        {"-" + std::string(400, '9'), ErrorNumber::FormatLayoutError},
        {"1e400", ErrorNumber::FormatUnreadable},  // no integer, and too big for a number
        {"1E2", ErrorNumber::FormatUnreadable},
        {"0" + std::string(30, '1'), ErrorNumber::FormatUnreadable},  // a leading zero is no JSON
    };
    const std::string text = sampleFormat().dump();
    const std::string number = R"("number":11,)";
    for (const auto& [written, expected] : rows) {
        SCOPED_TRACE(written);
        std::string changed = text;
        changed.replace(changed.find(number), number.size(), R"("number":)" + written + ",");
        const auto format = parseLabelFormat(changed);
        EXPECT_EQ(format.ok() ? findLayoutError(format.value()) : format.error(), expected);
    }
    // A long integer inside a string stays as written.
    const std::string digits(400, '7');
    std::string withText = text;
    withText.replace(withText.find(R"("ABC")"), 5, "\"" + digits + "\"");
    ASSERT_TRUE(parseLabelFormat(withText).ok());
    EXPECT_EQ(parseLabelFormat(withText).value().fields[0].defaultText, digits);
}

TEST(LabelFormat, EveryTruncationAndGarbageIsUnreadableWithoutCrashing) {
    const std::string text = sampleFormat().dump(2);
    for (std::size_t length = 0; length < text.size(); ++length) {
        EXPECT_EQ(parseLabelFormat(text.substr(0, length)).error(), ErrorNumber::FormatUnreadable) << length;
    }
    std::mt19937 random(20240601);
    for (int round = 0; round < 200; ++round) {
        std::string garbage = text;
        garbage[random() % garbage.size()] = static_cast<char>(random() % 256);
        static_cast<void>(parseLabelFormat(garbage));  // any answer, but no crash
    }
    EXPECT_EQ(parseLabelFormat("\xff\xfe").error(), ErrorNumber::FormatUnreadable);
    EXPECT_EQ(parseLabelFormat(std::string(100000, '[')).error(), ErrorNumber::FormatUnreadable);
    EXPECT_EQ(parseLabelFormat(std::string(100000, '[') + std::string(100000, ']')).error(),
              ErrorNumber::FormatUnreadable);
}

TEST(LabelFormat, MissingFilesAndDirectoriesAreUnreadable) {
    const testing_support::TempDir dir;
    EXPECT_EQ(readLabelFormatFile(dir.path() / "none.json").error(), ErrorNumber::FormatUnreadable);
    EXPECT_EQ(readLabelFormatFile(dir.path()).error(), ErrorNumber::FormatUnreadable);
    EXPECT_TRUE(readLabelFormatFile(dir.write("ok.json", sampleFormat().dump())).ok());
}

}  // namespace
}  // namespace labelformat
