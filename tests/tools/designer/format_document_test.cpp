// SPDX-License-Identifier: MIT
// The format document: the samples read and write back byte for byte, keys the designer
// does not know survive every edit, and undo and redo walk the steps exactly.
#include "designer/format_document.h"


#include <gtest/gtest.h>

#include "designer_test_files.h"
#include "sample_jobs.h"

namespace designer {
namespace {

using designer_testing::fileText;

TEST(FormatDocument, EverySampleFormatIsInTheCanonicalFormAndReadsAsTheLoaderReadsIt) {
    for (const auto& job : testing_support::sampleJobs()) {
        SCOPED_TRACE(job.format);
        const std::string bytes = fileText(testing_support::sampleFormatFile(job));
        const auto document = FormatDocument::fromText(bytes);
        ASSERT_TRUE(document);
        EXPECT_EQ(document->text(), bytes);
        EXPECT_FALSE(document->isModified());
        ASSERT_TRUE(document->format().ok());
        const auto& loaded = testing_support::sampleFormat(job);
        ASSERT_EQ(document->format().value().fields.size(), loaded.fields.size());
        EXPECT_EQ(sampleValues(*document).size(), loaded.fields.size());
    }
}

TEST(FormatDocument, TextInAnotherFormIsWrittenInTheOneForm) {
    const std::string canonical =
        "{\n  \"usePrinter\": 1,\n  \"label\": {\"widthMm\": 50.0, \"heightMm\": 30.5},\n  \"fields\": [\n"
        "    {\"number\": 3, \"type\": \"text\", \"default\": \"～①\\\"\\n\"}\n  ],\n  \"static\": [],\n  \"x\": [\n    1,\n    [2, {}]\n  ]\n}\n";
    const std::vector<std::string> rows{
        canonical,
        "{\"usePrinter\":1,\"label\":{\"widthMm\":50.0,\"heightMm\":30.50},\"fields\":[{\"number\":3,\"type\":\"text\","
        "\"default\":\"\\uff5e\\u2460\\\"\\n\"}],\"static\":[],\"x\":[1,[2,{}]]}",
        "\xEF\xBB\xBF{\r\n \"usePrinter\" : 1 , \"label\":{\"widthMm\":5e1,\"heightMm\":30.5},\r\n\t\"fields\":[{\"number\":3,"
        "\"type\":\"text\",\"default\":\"～①\\\"\\n\"}],\"static\":[],\"x\":[1,[2,{}]]}\r\n",
    };
    for (const std::string& text : rows) {
        const auto document = FormatDocument::fromText(text);
        ASSERT_TRUE(document) << text;
        EXPECT_EQ(document->text(), canonical);
    }
    std::string why;
    EXPECT_FALSE(FormatDocument::fromText("[1]", &why));
    EXPECT_EQ(why, "not a JSON object");
    EXPECT_FALSE(FormatDocument::fromText("{\"a\": " + std::string(200, '[') + std::string(200, ']') + "}", &why));
    EXPECT_EQ(why, "nested too deeply");
}

// Unknown keys at the top, in the label, in a field, in its font, in a static element,
// and the designer's own sample value: all skipped by the loader, all kept by every edit.
TEST(FormatDocument, KeysItDoesNotKnowSurviveEveryEditAndTheLoaderSkipsThem) {
    const std::string withUnknown = R"({
  "usePrinter": 1,
  "comment": {"by": "site", "tags": [1, 2]},
  "label": {"widthMm": 60.0, "heightMm": 40.0, "material": "thermal"},
  "fields": [
    {"number": 1, "type": "text", "xMm": 2.0, "yMm": 2.0, "widthMm": 40.0, "heightMm": 6.0, "rotation": 0, "font": {"family": "Noto Sans CJK JP", "sizePt": 10, "bold": false, "hinting": "none"}, "default": "", "sample": "株式会社", "note": null}
  ],
  "static": [
    {"type": "box", "xMm": 1.0, "yMm": 1.0, "widthMm": 50.0, "heightMm": 30.0, "colour": "black"}
  ]
}
)";
    auto document = FormatDocument::fromText(withUnknown);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->text(), withUnknown);
    std::string known = withUnknown;
    for (const std::string cut : {R"(, "material": "thermal")", R"(, "hinting": "none")", R"(, "sample": "株式会社", "note": null)",
                                  R"(, "colour": "black")", "  \"comment\": {\"by\": \"site\", \"tags\": [1, 2]},\n"}) {
        known.erase(known.find(cut), cut.size());
    }
    const auto loadedKnown = labelformat::parseLabelFormat(known);
    ASSERT_TRUE(loadedKnown.ok() && document->format().ok());
    EXPECT_EQ(document->format().value().fields[0].defaultText, loadedKnown.value().fields[0].defaultText);
    EXPECT_EQ(sampleValues(*document).at(1), "株式会社");

    ASSERT_TRUE(document->setFieldKey(0, "/font/sizePt", 12));
    ASSERT_TRUE(document->setLabelKey("widthMm", 62.0));
    ASSERT_TRUE(document->setStaticKey(0, "fill", true));
    ASSERT_TRUE(document->duplicateField(0));
    ASSERT_TRUE(document->addField(newBarcodeField("EAN13", 2, 10, 30, 20)));
    ASSERT_TRUE(document->removeField(2));
    for (const std::string kept : {"\"material\": \"thermal\"", "\"hinting\": \"none\"", "\"sample\": \"株式会社\", \"note\": null",
                                   "\"colour\": \"black\"", "\"comment\": {\"by\": \"site\", \"tags\": [1, 2]}"}) {
        EXPECT_NE(document->text().find(kept), std::string::npos) << kept;
    }
    EXPECT_NE(document->text().find("\"number\": 2, \"type\": \"text\""), std::string::npos) << "the copy";
}

struct NumberRow {
    int row;
    std::string key;
    Json value;
    bool taken;
};

TEST(FormatDocument, NumbersStayUniqueAndNewFieldsTakeTheNextFreeOne) {
    auto document = FormatDocument::blank(60, 40, 1);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(document.addField(newTextField(1, 1, 10, 5)), static_cast<std::size_t>(i));
    EXPECT_EQ(document.fieldNumberAt(2), 3);
    const std::vector<NumberRow> rows{
        {1, "number", 2, false},        {2, "/number", 3, false},     {3, "number", 0, false},
        {4, "number", 32768, false},    {5, "number", 7.0, false},    {6, "number", "7", false},
        {7, "number", 1, true},         {8, "number", 32767, true},   {9, "/number", 9, true},
    };
    for (const NumberRow& row : rows) {
        EXPECT_EQ(document.setFieldKey(0, row.key, row.value), row.taken) << row.row;
    }
    EXPECT_EQ(document.fieldNumberAt(0), 9);
    EXPECT_FALSE(document.removeFieldKey(0, "number"));
    EXPECT_EQ(document.nextFreeNumber(), 1);
    EXPECT_EQ(document.duplicateField(1), 2u);  // field 2's copy goes after it...
    EXPECT_EQ(document.fieldNumberAt(2), 4);    // ...as the first free number after 2
    Json numbered = newTextField(1, 1, 5, 5);
    numbered["number"] = 3;  // taken: renumbered
    ASSERT_EQ(document.addField(numbered), 4u);
    EXPECT_EQ(document.fieldNumberAt(4), 1);
    numbered["number"] = 500;
    ASSERT_EQ(document.addField(numbered), 5u);
    EXPECT_EQ(document.fieldNumberAt(5), 500);
    EXPECT_EQ(document.nextFreeNumber(500), 501);
    EXPECT_NE(document.text().find("{\"number\": 3, \"type\": \"text\""), std::string::npos) << "number first";
}

// A format built from empty by the steps a user takes: one step per click, a drag of
// many moves as one, typing into one property as one; undone to empty and redone to the
// same text.
TEST(FormatDocument, UndoToEmptyAndRedoToTheSameJson) {
    auto document = FormatDocument::blank(100, 70, 1);
    const std::string empty = document.text();
    EXPECT_FALSE(document.isModified());
    std::vector<std::string> steps{empty};
    const auto step = [&](bool changed) {
        ASSERT_TRUE(changed);
        steps.push_back(document.text());
    };
    step(document.addField(newTextField(2, 2, 40, 6)).has_value());
    step(document.addField(newBarcodeField("EAN13", 2, 40, 36, 20)).has_value());
    document.beginStep("move");
    for (int x = 3; x <= 20; ++x) ASSERT_TRUE(document.setFieldKey(0, "xMm", x * 1.0));
    document.beginStep("nested");
    ASSERT_TRUE(document.setFieldKey(0, "yMm", 3.0));
    document.endStep();
    ASSERT_TRUE(document.canUndo() == false) << "no undo inside a drag";
    document.endStep();
    steps.push_back(document.text());
    for (const char* typed : {"1", "12", "12.5"}) ASSERT_TRUE(document.setFieldKey(0, "/font/sizePt", std::stod(typed), "size"));
    steps.push_back(document.text());
    document.closeMerge();
    step(document.setFieldKey(0, "/font/sizePt", 13.0, "size"));
    step(document.setFieldKey(0, "/font/bold", true, "bold"));
    document.beginStep("a drag back to where it started");
    ASSERT_TRUE(document.setFieldKey(1, "xMm", 9.0));
    ASSERT_TRUE(document.setFieldKey(1, "xMm", 2.0));
    document.endStep();
    EXPECT_FALSE(document.setFieldKey(5, "xMm", 1.0)) << "no such field";
    step(document.addStatic(newBox(1, 1, 98, 68)).has_value());
    step(document.duplicateField(1).has_value());
    step(document.moveElement({ElementKind::Field, 2}, 0));
    step(document.removeField(1));
    step(document.setLabelKey("heightMm", 60.0));
    step(document.setDocumentKey("usePrinter", 0));
    step(document.replaceDocument(Json::parse(empty), "start again"));
    ASSERT_EQ(document.text(), empty);
    EXPECT_TRUE(document.isModified()) << "the same text by a step is still a change made";

    for (std::size_t at = steps.size() - 1; at > 0; --at) {
        ASSERT_TRUE(document.undo()) << at;
        EXPECT_EQ(document.text(), steps[at - 1]) << at;
    }
    EXPECT_FALSE(document.undo());
    EXPECT_FALSE(document.isModified());
    for (std::size_t at = 1; at < steps.size(); ++at) {
        ASSERT_TRUE(document.redo());
        EXPECT_EQ(document.text(), steps[at]);
    }
    EXPECT_FALSE(document.redo());
    ASSERT_TRUE(document.undo());
    ASSERT_TRUE(document.setFieldKey(0, "xMm", 1.5));
    EXPECT_FALSE(document.canRedo()) << "a new step drops the steps undone";
}

TEST(FormatDocument, ImagePathsStayRelativeToTheFormat) {
    EXPECT_EQ(imagePathFor("/site/formats", "/site/formats/logo.png"), "logo.png");
    EXPECT_EQ(imagePathFor("/site/formats", "/site/images/logo.png"), "../images/logo.png");
    Json document = Json::parse(R"({"static": [{"type": "image", "file": "logo.png"}, {"type": "image", "file": "/abs/x.png"},
                                              {"type": "box", "file": "logo.png"}]})");
    const Json moved = withImagesRelocated(document, "/site/formats", "/site/formats/old");
    EXPECT_EQ(moved["static"][0]["file"], "../logo.png");
    EXPECT_EQ(moved["static"][1]["file"], "/abs/x.png");
    EXPECT_EQ(moved["static"][2]["file"], "logo.png");
}

}  // namespace
}  // namespace designer
