// SPDX-License-Identifier: MIT
// The canvas's geometry and commands without a window: moves land on the renderer's dots,
// snapping, the arranging commands, turning, and the edits they make to a format document
// (only the keys that change, one step each, numbers never doubled).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "designer/format_document.h"
#include "edit_commands.h"
#include "geometry.h"
#include "render/layout.h"

namespace designer::gui {
namespace {

render::DotRect dotsOf(const MmRect& frame, int dpi) {
    return render::rectInDots(frame.xMm, frame.yMm, frame.widthMm, frame.heightMm, dpi);
}

bool isHundredths(double mm) { return std::abs(mm * 100 - std::round(mm * 100)) < 1e-9; }

// Every position and size the designer writes is what the renderer rounds to the dot it was
// put on, at the printer's every resolution.
TEST(DotMoves, ArrowsMoveOneDotAtEveryResolutionAndBackAgain) {
    for (int dpi : {203, 300, 600}) {
        for (double xMm = 0.0; xMm < 30.0; xMm += 0.37) {
            const MmRect frame{xMm, 2.0 + xMm / 3, 7.3 + xMm / 5, 4.1};
            const render::DotRect before = dotsOf(frame, dpi);
            const MmRect right = movedByDots(frame, 1, 0, dpi);
            render::DotRect expected = before;
            ++expected.xDots;
            EXPECT_EQ(dotsOf(right, dpi), expected) << xMm << " mm at " << dpi;
            EXPECT_EQ(right.yMm, frame.yMm) << "a move across leaves the height's keys alone";
            EXPECT_TRUE(isHundredths(right.xMm) && isHundredths(right.widthMm)) << right.xMm << " " << right.widthMm;
            const MmRect down = movedByDots(right, 0, 1, dpi);
            ++expected.yDots;
            EXPECT_EQ(dotsOf(down, dpi), expected);
            EXPECT_EQ(dotsOf(movedByDots(movedByDots(down, -1, 0, dpi), 0, -1, dpi), dpi), before);
        }
    }
}

TEST(DotMoves, ResizingByDotsKeepsTheCornerAndAtLeastOneDot) {
    for (int dpi : {203, 300, 600}) {
        const MmRect frame{3.3, 4.4, 2.0, 1.0};
        const render::DotRect before = dotsOf(frame, dpi);
        const render::DotRect wider = dotsOf(resizedByDots(frame, 1, 0, dpi), dpi);
        EXPECT_EQ(wider, (render::DotRect{before.xDots, before.yDots, before.widthDots + 1, before.heightDots}));
        MmRect shrunk = frame;
        for (int i = 0; i < 100; ++i) shrunk = resizedByDots(shrunk, -1, -1, dpi);
        EXPECT_EQ(dotsOf(shrunk, dpi), (render::DotRect{before.xDots, before.yDots, 1, 1})) << dpi;
    }
}

TEST(DotMoves, MillimetreStepsKeepValuesTidyAndBoxesHoldTheirSize) {
    MmRect frame{2.0, 3.0, 10.0, 5.0};
    for (int i = 0; i < 37; ++i) frame = movedByMm(frame, 1.0, 0.5);
    EXPECT_EQ(frame, (MmRect{39.0, 21.5, 10.0, 5.0}));
    EXPECT_EQ(resizedByMm(MmRect{1.0, 1.0, 0.5, 0.5}, -1.0, -1.0), (MmRect{1.0, 1.0, 0.1, 0.1}));
}

struct SnapRow {
    const char* name;
    MmRect frame;
    double deltaXMm;
    SnapRule rule;
    double expectedXMm;  // where the frame's left edge lands
    std::optional<double> guideXMm;
};

// Lines: the label 0, 30, 60 and another object's edges 20 and 25.
const SnapLines kLines{{0.0, 30.0, 60.0, 20.0, 22.5, 25.0}, {0.0, 20.0, 40.0}};

class Snapping : public ::testing::TestWithParam<SnapRow> {};

TEST_P(Snapping, LandsWhereTheRuleSays) {
    const SnapRow& row = GetParam();
    const Snapped snapped = snapMove(row.frame, row.deltaXMm, 0.0, kLines, row.rule, 203);
    EXPECT_NEAR(row.frame.xMm + snapped.deltaXMm, row.expectedXMm, 1e-9);
    EXPECT_EQ(snapped.guideXMm, row.guideXMm);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Snapping,
    ::testing::Values(SnapRow{"left_edge_to_an_objects_edge", {5.0, 5.0, 4.0, 3.0}, 14.7, {true, 1.0, 0.5}, 20.0, 20.0},
                      SnapRow{"right_edge_to_an_objects_left", {5.0, 5.0, 4.0, 3.0}, 11.2, {true, 1.0, 0.5}, 16.0, 20.0},
                      SnapRow{"centre_to_the_labels_centre", {5.0, 5.0, 4.0, 3.0}, 22.8, {true, 1.0, 0.5}, 28.0, 30.0},
                      SnapRow{"right_edge_to_the_labels_edge", {5.0, 5.0, 4.0, 3.0}, 50.6, {true, 1.0, 0.5}, 56.0, 60.0},
                      SnapRow{"out_of_reach_onto_the_1mm_grid", {5.0, 5.0, 4.0, 3.0}, 5.3, {true, 1.0, 0.5}, 10.0, {}},
                      SnapRow{"onto_the_half_mm_grid", {5.0, 5.0, 4.0, 3.0}, 5.3, {true, 0.5, 0.1}, 10.5, {}},
                      SnapRow{"onto_the_5mm_grid", {5.0, 5.0, 4.0, 3.0}, 7.8, {true, 5.0, 0.1}, 15.0, {}},
                      SnapRow{"shift_pauses_it_onto_a_dot", {5.0, 5.0, 4.0, 3.0}, 14.7, {false, 1.0, 0.5}, 19.64, {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Snapping, OtherObjectsEdgesAndTheLabelsAreTheLinesNotTheMovingOnes) {
    labelformat::LabelFormat format;
    format.widthMm = 60.0;
    format.heightMm = 40.0;
    format.fields.resize(2);
    format.fields[0].xMm = 10.0;
    format.fields[0].widthMm = 4.0;
    format.fields[0].heightMm = 2.0;
    format.fields[1].xMm = 30.0;
    format.fields[1].yMm = 5.0;
    format.fields[1].widthMm = 6.0;
    format.fields[1].heightMm = 2.0;
    const SnapLines lines = snapLinesOf(format, {fieldAt(0)});
    EXPECT_EQ(lines.xMm, (std::vector<double>{0.0, 30.0, 60.0, 30.0, 33.0, 36.0}));
    EXPECT_EQ(lines.yMm, (std::vector<double>{0.0, 20.0, 40.0, 5.0, 6.0, 7.0}));
}

// Three frames on a 60 x 40 label; the first is the reference for sizes.
const std::vector<MmRect> kFrames{{1.0, 1.0, 10.0, 5.0}, {20.0, 4.0, 6.0, 8.0}, {40.0, 2.0, 8.0, 3.0}};

struct ArrangeRow {
    const char* name;
    Arrangement arrangement;
    std::vector<MmRect> expected;
};

class Arranging : public ::testing::TestWithParam<ArrangeRow> {};

TEST_P(Arranging, GivesTheFrames) {
    EXPECT_EQ(arrange(kFrames, GetParam().arrangement, 60.0, 40.0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Arranging,
    ::testing::Values(
        ArrangeRow{"left", Arrangement::AlignLeft, {{1, 1, 10, 5}, {1, 4, 6, 8}, {1, 2, 8, 3}}},
        ArrangeRow{"centre", Arrangement::AlignHorizontalCentre, {{19.5, 1, 10, 5}, {21.5, 4, 6, 8}, {20.5, 2, 8, 3}}},
        ArrangeRow{"right", Arrangement::AlignRight, {{38, 1, 10, 5}, {42, 4, 6, 8}, {40, 2, 8, 3}}},
        ArrangeRow{"top", Arrangement::AlignTop, {{1, 1, 10, 5}, {20, 1, 6, 8}, {40, 1, 8, 3}}},
        ArrangeRow{"middle", Arrangement::AlignVerticalCentre, {{1, 4, 10, 5}, {20, 2.5, 6, 8}, {40, 5, 8, 3}}},
        ArrangeRow{"bottom", Arrangement::AlignBottom, {{1, 7, 10, 5}, {20, 4, 6, 8}, {40, 9, 8, 3}}},
        ArrangeRow{"centre_in_label", Arrangement::CentreInLabel, {{6.5, 14.5, 10, 5}, {25.5, 17.5, 6, 8}, {45.5, 15.5, 8, 3}}},
        ArrangeRow{"equal_gaps_across", Arrangement::DistributeHorizontally, {{1, 1, 10, 5}, {22.5, 4, 6, 8}, {40, 2, 8, 3}}},
        ArrangeRow{"equal_gaps_down", Arrangement::DistributeVertically, {{1, 1, 10, 5}, {20, 4, 6, 8}, {40, 3.5, 8, 3}}},
        ArrangeRow{"same_width", Arrangement::SameWidth, {{1, 1, 10, 5}, {20, 4, 10, 8}, {40, 2, 10, 3}}},
        ArrangeRow{"same_height", Arrangement::SameHeight, {{1, 1, 10, 5}, {20, 4, 6, 5}, {40, 2, 8, 5}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Arranging, NothingLeavesTheLabel) {
    const auto wide = arrange({{2.0, 1.0, 15.0, 5.0}, {50.0, 1.0, 9.0, 5.0}}, Arrangement::SameWidth, 60.0, 40.0);
    EXPECT_EQ(wide[1], (MmRect{45.0, 1.0, 15.0, 5.0})) << "moved left so that its new width fits";
    const auto tall = arrange({{50.0, 1.0, 9.0, 38.0}, {2.0, 30.0, 9.0, 9.0}}, Arrangement::SameHeight, 60.0, 40.0);
    EXPECT_EQ(tall[1], (MmRect{2.0, 2.0, 9.0, 38.0})) << "moved up so that its new height fits";
}

TEST(Turning, AFieldTurnsWithItsBoxAboutItsCentreAndStaysOnTheLabel) {
    const Placement field{false, 10.0, 10.0, 20.0, 5.0, 0.0, 0.0, 270};
    const auto turned = turnedQuarter(field, labelformat::StaticType::Box, true, 60.0, 40.0);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->frame(), (MmRect{17.5, 2.5, 5.0, 20.0}));
    EXPECT_EQ(turned->rotationDeg, 0);
    const Placement nearTheTop{false, 10.0, 1.0, 20.0, 5.0, 0.0, 0.0, 0};
    EXPECT_EQ(turnedQuarter(nearTheTop, labelformat::StaticType::Box, true, 60.0, 40.0)->frame(), (MmRect{17.5, 0.0, 5.0, 20.0}));
    const Placement line{true, 10.0, 10.0, 0.0, 0.0, 30.0, 10.0, 0};
    const auto upright = turnedQuarter(line, labelformat::StaticType::Line, false, 60.0, 40.0);
    EXPECT_EQ(*upright, (Placement{true, 20.0, 0.0, 0.0, 0.0, 20.0, 20.0, 0}));
    EXPECT_FALSE(turnedQuarter(field, labelformat::StaticType::Image, false, 60.0, 40.0)) << "the format cannot turn an image";
}

TEST(Placements, ALineKeepsItsDirectionWhenMovedOrStretched) {
    const Placement backwards{true, 30.0, 10.0, 0.0, 0.0, 10.0, 4.0, 0};
    EXPECT_EQ(withFrame(backwards, {15.0, 6.0, 20.0, 6.0}), (Placement{true, 35.0, 12.0, 0.0, 0.0, 15.0, 6.0, 0}));
    EXPECT_EQ(withFrame(backwards, {10.0, 4.0, 40.0, 12.0}), (Placement{true, 50.0, 16.0, 0.0, 0.0, 10.0, 4.0, 0}));
    const Placement across{true, 5.0, 8.0, 0.0, 0.0, 25.0, 8.0, 0};
    EXPECT_EQ(withFrame(across, {6.0, 9.5, 20.0, 0.0}), (Placement{true, 6.0, 9.5, 0.0, 0.0, 26.0, 9.5, 0}));
}

// ---- Edits of a document ----

FormatDocument documentOf(const std::string& fields, const std::string& statics = "[]") {
    auto document = FormatDocument::fromText(R"({"usePrinter": 1, "label": {"widthMm": 60.0, "heightMm": 40.0}, "fields": )" +
                                             fields + R"(, "static": )" + statics + "}\n");
    EXPECT_TRUE(document && document->format().ok());
    return std::move(*document);
}

std::string field(int number, double xMm, const std::string& more = {}) {
    return R"({"number": )" + std::to_string(number) + R"(, "type": "text", "xMm": )" + std::to_string(xMm) +
           R"(, "yMm": 2, "widthMm": 10.0, "heightMm": 5.0, "rotation": 0)" + more + "}";
}

int undoSteps(FormatDocument& document) {
    int steps = 0;
    while (document.undo()) ++steps;
    return steps;
}

TEST(Edits, APlacementWritesOnlyTheKeysThatChangeAsOneStep) {
    FormatDocument document = documentOf("[" + field(1, 4.0, R"(, "note": {"kept": [1, 2]})") + "]");
    const std::string before = document.text();
    Placement moved = placementOf(document.format().value(), fieldAt(0));
    moved.xMm = 4.13;
    moved.widthMm = 9.5;
    applyPlacements(document, {{fieldAt(0), moved}}, "移動");
    const Json& written = document.json()["fields"][0];
    EXPECT_EQ(written["xMm"].dump(), "4.13");
    EXPECT_EQ(written["yMm"].dump(), "2") << "untouched keys keep their form";
    EXPECT_EQ(written["note"].dump(), R"({"kept":[1,2]})");
    EXPECT_EQ(document.undoName(), "移動");
    EXPECT_EQ(undoSteps(document), 1);
    EXPECT_EQ(document.text(), before);
}

TEST(Edits, PastedFieldsTakeTheNextFreeNumberKeepTheirKeysAndMoveByTheOffset) {
    const FormatDocument source = documentOf("[" + field(1, 4.0, R"(, "sample": "見本", "x-site": true)") + "]",
                                             R"([{"type": "line", "xMm": 58.0, "yMm": 1.0, "x2Mm": 60.0, "y2Mm": 1.0}])");
    const std::string copy = copiedText(source, {fieldAt(0), staticAt(0)});
    FormatDocument target = documentOf("[" + field(1, 20.0) + "," + field(2, 30.0) + "]");
    const std::string before = target.text();
    const auto pasted = paste(target, copy, 1.0);
    ASSERT_TRUE(pasted);
    EXPECT_EQ(*pasted, (std::vector<ObjectRef>{staticAt(0), fieldAt(2)}));
    const Json& added = target.json()["fields"][2];
    EXPECT_EQ(added["number"], 3);
    EXPECT_EQ(added["xMm"], 5.0);
    EXPECT_EQ(added["yMm"], 3.0);
    EXPECT_EQ(added["sample"], "見本");
    EXPECT_EQ(added["x-site"], true);
    const Json& line = target.json()["static"][0];
    EXPECT_EQ(line["x2Mm"], 60.0) << "kept on the label: the line stays where it was across";
    EXPECT_EQ(line["y2Mm"], 2.0);
    EXPECT_EQ(undoSteps(target), 1);
    EXPECT_EQ(target.text(), before);

    EXPECT_FALSE(paste(target, R"({"fields": []})", 1.0)) << "text that is no copy of the designer's";
    EXPECT_FALSE(target.canUndo());
}

TEST(Edits, DuplicatesFollowTheirOriginalsWithTheNextFreeNumbers) {
    FormatDocument document = documentOf("[" + field(1, 4.0) + "," + field(5, 20.0) + "," + field(2, 40.0) + "]");
    const auto copies = duplicateSelection(document, {fieldAt(2), fieldAt(0)}, 1.0);
    EXPECT_EQ(copies, (std::vector<ObjectRef>{fieldAt(1), fieldAt(4)}));
    std::vector<int> numbers;
    for (const Json& each : document.json()["fields"]) numbers.push_back(each["number"].get<int>());
    EXPECT_EQ(numbers, (std::vector<int>{1, 3, 5, 2, 4}));
    EXPECT_EQ(document.json()["fields"][4]["xMm"], 41.0);
    EXPECT_EQ(undoSteps(document), 1);
}

TEST(Edits, RemovingAMixedSelectionIsOneStep) {
    FormatDocument document = documentOf("[" + field(1, 4.0) + "," + field(2, 20.0) + "," + field(3, 40.0) + "]",
                                         R"([{"type": "box", "xMm": 1.0, "yMm": 1.0, "widthMm": 5.0, "heightMm": 5.0}])");
    EXPECT_TRUE(removeSelection(document, {fieldAt(2), staticAt(0), fieldAt(0)}));
    ASSERT_EQ(document.json()["fields"].size(), 1u);
    EXPECT_EQ(document.json()["fields"][0]["number"], 2);
    EXPECT_TRUE(document.json()["static"].empty());
    EXPECT_EQ(undoSteps(document), 1);
}

TEST(Edits, ArrangingOrTurningIsOneStepAndNothingWhenNothingChanges) {
    FormatDocument document = documentOf("[" + field(1, 4.0) + "," + field(2, 20.0) + "]");
    EXPECT_TRUE(arrangeSelection(document, {fieldAt(0), fieldAt(1)}, Arrangement::SameWidth) == false);
    EXPECT_FALSE(document.canUndo());
    EXPECT_TRUE(arrangeSelection(document, {fieldAt(1), fieldAt(0)}, Arrangement::AlignLeft));
    EXPECT_EQ(document.json()["fields"][0]["xMm"], 4.0);
    EXPECT_EQ(document.json()["fields"][1]["xMm"], 4.0);
    EXPECT_TRUE(turnSelection(document, {fieldAt(0), fieldAt(1)}));
    EXPECT_EQ(document.json()["fields"][1]["rotation"], 90);
    EXPECT_EQ(undoSteps(document), 2);
}

TEST(Edits, NewObjectsTakeTheNextFreeNumberAndStayOnTheLabel) {
    FormatDocument document = documentOf("[" + field(1, 4.0) + "," + field(3, 20.0) + "]");
    EXPECT_EQ(addObject(document, NewObject::BarcodeField, 58.0, 39.0), fieldAt(2));
    const Json& barcode = document.json()["fields"][2];
    EXPECT_EQ(barcode["number"], 2);
    EXPECT_EQ(barcode["xMm"], 30.0);
    EXPECT_EQ(barcode["yMm"], 30.0);
    EXPECT_TRUE(document.format().ok());
    EXPECT_FALSE(labelformat::findLayoutError(document.format().value()));
    EXPECT_EQ(addObject(document, NewObject::Line, 50.0, 10.0), staticAt(0));
    EXPECT_EQ(document.json()["static"][0]["x2Mm"], 60.0);
}

}  // namespace
}  // namespace designer::gui
