// SPDX-License-Identifier: MIT
// The checks: LoadFormat's errors with the element they concern, labels read back with
// zbar, barcodes refused or unreadable, text that does not fit; the fit check over a
// sample data file with planted values; a label's cost on ZPL printers.
#include "designer/findings.h"
#include "designer/fit_check.h"
#include "designer/label_cost.h"
#include "designer/label_proof.h"

#include <gtest/gtest.h>

#include "designer_test_files.h"
#include "planted_data.h"
#include "sample_jobs.h"
#include "temp_dir.h"

namespace designer {
namespace {

using labelformat::LayoutRule;

const std::string kBase = R"({
  "usePrinter": 1,
  "label": {"widthMm": 60.0, "heightMm": 40.0},
  "fields": [
    {"number": 1, "type": "text", "xMm": 2.0, "yMm": 2.0, "widthMm": 56.0, "heightMm": 6.0, "rotation": 0},
    {"number": 2, "type": "barcode", "symbology": "EAN13", "xMm": 2.0, "yMm": 10.0, "widthMm": 36.0, "heightMm": 25.0, "rotation": 0}
  ],
  "static": [
    {"type": "line", "xMm": 1.0, "yMm": 9.0, "x2Mm": 59.0, "y2Mm": 9.0}
  ]
}
)";

FormatDocument baseWith(const std::function<void(FormatDocument&)>& change) {
    auto document = FormatDocument::fromText(kBase).value();
    change(document);
    return document;
}

// A number the document's own edits refuse, as a file may hold it.
void renumber(FormatDocument& document, std::size_t index, int number) {
    Json json = document.json();
    json["fields"][index]["number"] = number;
    document.replaceDocument(json);
}

struct Expected {
    FindingKind kind;
    std::optional<std::size_t> field;
    std::optional<std::size_t> element;
    std::optional<LayoutRule> rule = std::nullopt;
};

struct LoadRow {
    int row;
    std::function<void(FormatDocument&)> change;
    std::vector<Expected> expected;
};

TEST(Checks, LoadFormatsErrorsNameTheFieldOrStaticElementTheyConcern) {
    const auto unreadable = FindingKind::FormatUnreadable;
    const auto layout = FindingKind::LayoutError;
    const std::vector<LoadRow> rows{
        {1, [](FormatDocument&) {}, {}},
        {2, [](FormatDocument& d) { d.removeFieldKey(1, "symbology"); }, {{unreadable, 1, {}}}},
        {3, [](FormatDocument& d) { d.setStaticKey(0, "type", "circle"); d.setFieldKey(0, "rotation", 45); },
         {{unreadable, 0, {}}, {unreadable, {}, 0}}},
        {4, [](FormatDocument& d) { d.setLabelKey("widthMm", "60"); }, {{unreadable, {}, {}}}},
        {5, [](FormatDocument& d) { d.setDocumentKey("usePrinter", 0); }, {{FindingKind::ForAnotherPrinter, {}, {}}}},
        {6, [](FormatDocument& d) { d.setFieldKey(1, "xMm", 30.0); d.setStaticKey(0, "x2Mm", 61.0); },
         {{layout, 1, {}, LayoutRule::FieldBoxOutsideLabel}, {layout, {}, 0, LayoutRule::StaticOutsideLabel}}},
        {7, [](FormatDocument& d) { EXPECT_FALSE(d.setFieldKey(1, "number", 1)); renumber(d, 1, 1); },
         {{layout, 1, {}, LayoutRule::FieldNumberUsedTwice}}},
        {8, [](FormatDocument& d) { renumber(d, 0, 40000); },
         {{layout, 0, {}, LayoutRule::FieldNumberOutOfRange}}},
        {9, [](FormatDocument& d) { d.setLabelKey("heightMm", 0.0); },
         {{layout, {}, {}, LayoutRule::LabelWithoutArea}, {layout, 0, {}, LayoutRule::FieldBoxOutsideLabel},
          {layout, 1, {}, LayoutRule::FieldBoxOutsideLabel}, {layout, {}, 0, LayoutRule::StaticOutsideLabel}}},
        {10, [](FormatDocument& d) { d.addStatic(newImage("missing.png", 40, 10, 10, 10)); },
         {{unreadable, {}, 1}}},
    };
    for (const LoadRow& row : rows) {
        SCOPED_TRACE(row.row);
        const FormatDocument document = baseWith(row.change);
        const auto findings = loadErrors(document, std::int16_t{1});
        ASSERT_EQ(findings.size(), row.expected.size());
        for (std::size_t i = 0; i < findings.size(); ++i) {
            EXPECT_EQ(findings[i].kind, row.expected[i].kind) << i;
            EXPECT_EQ(findings[i].fieldIndex, row.expected[i].field) << i;
            EXPECT_EQ(findings[i].staticIndex, row.expected[i].element) << i;
            EXPECT_EQ(findings[i].rule, row.expected[i].rule) << i;
        }
        // The loader's own answer agrees on the first error.
        const auto loaded = labelformat::parseLabelFormat(document.text());
        const auto loaderError = loaded.ok() ? labelformat::findLayoutError(loaded.value()) : loaded.error();
        const int expectedFirst = row.row == 5 ? 1301 : row.row == 10 ? 1300 : loaderError ? static_cast<int>(*loaderError) : 0;
        EXPECT_EQ(findings.empty() ? 0 : findings.front().errorNumber(), expectedFirst);
    }
}

LabelChecker checkerFor(const FormatDocument& document) {
    return std::move(LabelChecker::create(document.format().value(), render::Fonts::loadWhenNeeded()).value());
}

TEST(Checks, EveryBarcodeOfEverySampleLabelReadsBack) {
    for (const auto& job : testing_support::sampleJobs()) {
        SCOPED_TRACE(job.format);
        const auto format = testing_support::sampleFormat(job);
        auto checker = std::move(LabelChecker::create(format, render::Fonts::loadWhenNeeded()).value());
        const auto labels = testing_support::sampleLabels(job, format);
        const LabelProof proof = checker.proof(labels.at(0), {203, true});
        EXPECT_FALSE(proof.refusesOrUnreadable());
        EXPECT_GE(proof.barcodesScanned(), 1);
        EXPECT_EQ(proof.barcodesReadBack(), proof.barcodesScanned());
        EXPECT_EQ(proof.picture.widthDots, render::mmToDots(format.widthMm, 203));
    }
}

struct BarcodeRow {
    int row;
    std::function<void(FormatDocument&)> change;
    std::string value;
    std::optional<FindingKind> expected;
    std::string detail;  // the start of the finding's detail
};

TEST(Checks, BarcodesRefusedOrNotReadBackAreFlagged) {
    const std::vector<BarcodeRow> rows{
        {1, [](FormatDocument&) {}, "4571123400153", std::nullopt, ""},
        {2, [](FormatDocument&) {}, "4571123400154", FindingKind::BarcodeRefused, "EAN13: "},
        {3, [](FormatDocument& d) { d.setFieldKey(1, "symbology", "CODE128"); d.setFieldKey(1, "widthMm", 20.0); },
         "N2612-0041-01-ABCDEFG", FindingKind::BarcodeRefused, "CODE128: the symbol does not fit the box at 203 dpi"},
        {4, [](FormatDocument& d) { d.addStatic(newBox(2, 10, 36, 25)); d.setStaticKey(1, "fill", true); }, "4571123400153",
         FindingKind::NotReadBack, ""},
        {5, [](FormatDocument& d) { d.setFieldKey(1, "symbology", "QR"); }, "納品カード|4581209301076", std::nullopt, ""},
        {6, [](FormatDocument& d) { d.setFieldKey(1, "symbology", "EAN8"); d.setFieldKey(1, "rotation", 90); }, "49123012",
         std::nullopt, ""},
        {7, [](FormatDocument& d) { d.setFieldKey(1, "symbology", "NW7"); d.setFieldKey(1, "rotation", 270); }, "12345",
         std::nullopt, ""},
        {8, [](FormatDocument& d) { d.setFieldKey(1, "symbology", "GS1-128"); d.setFieldKey(1, "rotation", 180); },
         "(01)14571123400150(10)AB", std::nullopt, ""},
    };
    for (const BarcodeRow& row : rows) {
        SCOPED_TRACE(row.row);
        const FormatDocument document = baseWith(row.change);
        auto checker = checkerFor(document);
        const LabelProof proof = checker.proof({{1, "入荷"}, {2, row.value}});
        EXPECT_EQ(proof.refused, row.expected == FindingKind::BarcodeRefused);
        EXPECT_EQ(proof.refusesOrUnreadable(), row.expected.has_value());
        EXPECT_EQ(proof.barcodesScanned(), row.expected == FindingKind::BarcodeRefused ? 0 : 1);
        if (!row.expected) {
            EXPECT_TRUE(proof.findings.empty());
            EXPECT_EQ(proof.barcodesReadBack(), 1);
            continue;
        }
        ASSERT_EQ(proof.findings.size(), 1u);
        EXPECT_EQ(proof.findings[0].kind, *row.expected);
        EXPECT_EQ(proof.findings[0].fieldNumber, 2);
        EXPECT_EQ(proof.findings[0].element(), (ElementRef{ElementKind::Field, 1}));
        EXPECT_TRUE(proof.findings[0].detail.starts_with(row.detail)) << proof.findings[0].detail;
        EXPECT_GT(proof.picture.widthDots, 0) << "a refused label is still drawn";
    }
}

TEST(Checks, TextCondensedCutOrWithoutGlyphsIsFlaggedWithItsFactor) {
    const FormatDocument document = baseWith([](FormatDocument&) {});
    auto checker = checkerFor(document);
    const auto findingsFor = [&](const std::string& text) { return checker.proof({{1, text}}, {203, false}).findings; };
    EXPECT_TRUE(findingsFor("入荷ラベル").empty());
    const auto condensed = findingsFor(std::string(30, 'M'));
    ASSERT_EQ(condensed.size(), 1u);
    EXPECT_EQ(condensed[0].kind, FindingKind::Condensed);
    EXPECT_GT(condensed[0].condense, render::kMinimumCondense);
    EXPECT_LT(condensed[0].condense, 1.0);
    EXPECT_EQ(describe(condensed[0]), "condensed " + std::to_string(static_cast<int>(condensed[0].condense * 100)) + "%");
    const auto cut = findingsFor(std::string(120, 'M'));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].kind, FindingKind::Cut);
    const auto missing = findingsFor("A\uE000\uE001");
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].kind, FindingKind::MissingGlyphs);
    EXPECT_EQ(missing[0].missingGlyphs, 2);
}

TEST(Checks, TheFitCheckFindsEveryPlantedValueAtItsWorstRecord) {
    const testing_support::TempDir dir;
    const auto data = dir.write("NYUKA.DAT", designer_testing::plantedReceivingData());
    const auto format = labelformat::readLabelFormatFile(designer_testing::sampleFormatPath("LABEL1")).value();
    auto checker = std::move(LabelChecker::create(format, render::Fonts::loadWhenNeeded()).value());
    auto source = RecordSource::open(data, *findDataKindChoice("NYUKA.DAT"));
    ASSERT_TRUE(std::holds_alternative<RecordSource>(source));
    std::int64_t progressCalls = 0;
    FitOptions options;
    options.progress = [&](std::int64_t done, std::int64_t all) {
        EXPECT_EQ(all, 12);
        return ++progressCalls == done;
    };
    const FitReport report = checkFit(checker, std::get<RecordSource>(source), options);
    EXPECT_EQ(report.recordsChecked, 12);
    EXPECT_EQ(progressCalls, 12);
    EXPECT_TRUE(report.anyRefusedOrUnreadable());
    ASSERT_EQ(report.refusedRecords.size(), 1u);
    EXPECT_EQ(report.refusedRecords[0].first, 11);
    EXPECT_TRUE(report.refusedRecords[0].second.starts_with("ERR: 932 ")) << report.refusedRecords[0].second;
    std::map<std::pair<std::int16_t, FindingKind>, FieldFit> byField;
    for (const FieldFit& fit : report.fields) byField[{fit.worst.fieldNumber, fit.worst.kind}] = fit;
    const auto fitOf = [&](std::int16_t field, FindingKind kind) {
        const auto found = byField.find({field, kind});
        return found == byField.end() ? FieldFit{} : found->second;
    };
    EXPECT_EQ(fitOf(4, FindingKind::Condensed).worstRecord, 10);
    EXPECT_EQ(fitOf(4, FindingKind::Condensed).records, 2);
    EXPECT_EQ(fitOf(4, FindingKind::Cut).worstRecord, 7);
    EXPECT_EQ(fitOf(11, FindingKind::BarcodeRefused).worstRecord, 9);
    EXPECT_EQ(fitOf(11, FindingKind::BarcodeRefused).records, 1);
    EXPECT_EQ(fitOf(6, FindingKind::Condensed).worstRecord, 2) << "the sample's own long product name";
    EXPECT_EQ(fitOf(101, FindingKind::Condensed).records, 11) << "a caption, in every record read";
    EXPECT_EQ(fitOf(29, FindingKind::NotReadBack).records, 0) << "every CODE128 reads back";

    auto stopped = checkFit(checker, std::get<RecordSource>(source), {{}, [](std::int64_t done, std::int64_t) { return done < 3; }});
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.recordsChecked, 3);
}

TEST(Checks, ALabelsCostOnTheZplPrintersOfTheList) {
    for (const auto& [setting, bits] : std::vector<std::pair<SerialLine, int>>{
             {{9600, 'N', 8, 1}, 10}, {{19200, 'E', 7, 2}, 11}, {{115200, 'O', 8, 1}, 11}}) {
        EXPECT_EQ(setting.bitsPerByte(), bits);
    }
    EXPECT_DOUBLE_EQ((SerialLine{9600, 'N', 8, 1}.secondsFor(960)), 1.0);

    const testing_support::TempDir dir;
    dir.write("printers.json", R"({"printers": {
        "NET": {"type": "zpl", "host": "127.0.0.1", "port": 9100, "dpi": 300},
        "USB": {"type": "zpl", "device": "/dev/null"},
        "PDF": {"type": "virtual", "output": "out.jsonl"}},
      "serialPorts": {"COM2": {"type": "zpl", "device": "/dev/null"}, "COM3": {"type": "zpl", "device": "/dev/null", "serial": "19200,E,7,2"}}})");
    auto listed = zplDestinations(dir.path(), "38400,N,8,1");
    ASSERT_TRUE(std::holds_alternative<std::vector<ZplDestination>>(listed)) << std::get<std::string>(listed);
    const auto& destinations = std::get<std::vector<ZplDestination>>(listed);
    ASSERT_EQ(destinations.size(), 4u);
    EXPECT_EQ(destinations[0].name, "NET");
    EXPECT_EQ(destinations[0].encoder.dotsPerInch, 300);
    EXPECT_FALSE(destinations[0].line);
    EXPECT_EQ(destinations[1].name, "USB");
    EXPECT_EQ(destinations[1].line->baudRate, 9600);
    EXPECT_EQ(destinations[2].line->baudRate, 38400) << "the COM setting's line";
    EXPECT_EQ(destinations[3].line->bitsPerByte(), 11) << "the entry's own line";

    const testing_support::SampleJob job = testing_support::sampleJobs()[0];
    const auto format = testing_support::sampleFormat(job);
    const auto labels = testing_support::sampleLabels(job, format);
    const auto costed = labelCost(format, render::Fonts::loadWhenNeeded(), destinations[1], labels);
    ASSERT_TRUE(std::holds_alternative<LabelCost>(costed));
    const LabelCost& cost = std::get<LabelCost>(costed);
    EXPECT_EQ(cost.laterLabels, labels.size() - 1);
    EXPECT_GT(cost.firstBytes, cost.laterMaxBytes) << "the first label stores what the others recall";
    EXPECT_GE(static_cast<double>(cost.laterMaxBytes), cost.laterAverageBytes);
    EXPECT_GT(cost.endOfJobBytes, 0u) << "the stored graphics are deleted";
    EXPECT_DOUBLE_EQ(*cost.firstSeconds, static_cast<double>(cost.firstBytes) * 10 / 9600);
    const auto network = labelCost(format, render::Fonts::loadWhenNeeded(), destinations[0], {labels.data(), 1});
    EXPECT_FALSE(std::get<LabelCost>(network).firstSeconds);
    auto refused = labels[0];
    refused[11] = "4571123400154";
    EXPECT_EQ(std::get<int>(labelCost(format, render::Fonts::loadWhenNeeded(), destinations[1], {&refused, 1})), 1302);
}

}  // namespace
}  // namespace designer
