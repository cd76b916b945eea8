// SPDX-License-Identifier: MIT
// Every label of every sample job of the three programs, drawn as the control draws it.
#include <gtest/gtest.h>

#include <map>

#include "raster_reading.h"
#include "sample_jobs.h"

namespace {

using testing_support::inkBounds;
using testing_support::scannedForm;
using testing_support::sampleJobs;

// Bar and space widths in dots along the middle of the bars, from the first bar to the last.
std::vector<int> measuredRuns(const render::Raster& raster, const render::BarcodeElement& element) {
    const render::DotRect& bars = element.symbolRect;
    const int y = bars.yDots + bars.heightDots / 2;
    std::vector<int> runs;
    for (int x = bars.xDots; x < bars.rightDots(); ++x) {
        if (x == bars.xDots || raster.isBlack(x, y) != raster.isBlack(x - 1, y)) runs.push_back(0);
        ++runs.back();
    }
    return runs;
}

std::vector<int> expectedRuns(const render::BarcodeElement& element) {
    const render::EncodedSymbol& symbol = *element.symbol;
    std::vector<int> runs;
    for (int column = 0; column < symbol.columns; ++column) {
        if (column == 0 || symbol.isDark(column) != symbol.isDark(column - 1)) runs.push_back(0);
        runs.back() += element.moduleDots;
    }
    return runs;
}

bool whiteAcross(const render::Raster& raster, int fromX, int toX, int y) {
    for (int x = fromX; x < toX; ++x) {
        if (raster.isBlack(x, y)) return false;
    }
    return true;
}

class SampleJobs : public ::testing::TestWithParam<testing_support::SampleJob> {};

TEST_P(SampleJobs, EveryBarcodeReadsBackAsItsDataOnWholeDotsWithItsQuietZones) {
    const auto format = testing_support::sampleFormat(GetParam());
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    const auto labels = testing_support::sampleLabels(GetParam(), format);
    ASSERT_GE(labels.size(), 10u);
    for (const int dotsPerInch : {203, 300}) {
        for (std::size_t label = 0; label < labels.size(); ++label) {
            const auto content = renderer.content(labels[label]);
            ASSERT_TRUE(content.ok());
            const render::LabelLayout layout = renderer.layOut(content.value(), dotsPerInch);
            for (const render::BarcodeElement& element : layout.barcodes) {
                SCOPED_TRACE("label " + std::to_string(label + 1) + ", field " + std::to_string(element.fieldNumber) +
                             ", " + std::to_string(dotsPerInch) + " dpi");
                ASSERT_TRUE(element.symbol);
                const render::Raster raster = renderer.paintField(layout, element.fieldNumber);
                const auto scanned = testing_support::scan(raster);
                ASSERT_EQ(scanned.size(), 1u);
                EXPECT_EQ(scanned[0].data, scannedForm(*element.symbol));
                if (element.symbol->isMatrix()) continue;
                EXPECT_EQ(measuredRuns(raster, element), expectedRuns(element));
                const int y = element.symbolRect.yDots + element.symbolRect.heightDots / 2;
                EXPECT_TRUE(whiteAcross(raster, element.quietZoneRect.xDots, element.symbolRect.xDots, y));
                EXPECT_TRUE(whiteAcross(raster, element.symbolRect.rightDots(), element.quietZoneRect.rightDots(), y));
            }
        }
    }
}

// Every character of the sample data drawn with a glyph of the font; and each field,
// painted alone on the whole label with the longest text it gets in the job, leaves ink
// only inside its box.
TEST_P(SampleJobs, EveryFieldDrawsInsideItsBoxWithRealGlyphs) {
    const auto format = testing_support::sampleFormat(GetParam());
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    std::map<std::int16_t, std::string> longest;
    for (const auto& values : testing_support::sampleLabels(GetParam(), format)) {
        for (const render::TextElement& element : renderer.layOut(renderer.content(values).value(), 203).texts) {
            EXPECT_EQ(element.block.unknownGlyphs, 0) << element.text;
        }
        for (const auto& [field, text] : values) {
            if (text.size() > longest[field].size()) longest[field] = text;
        }
    }
    const render::LabelLayout layout = renderer.layOut(renderer.content(longest).value(), 203);
    const auto check = [&](std::int16_t field, const render::Placement& placement, bool draws) {
        SCOPED_TRACE("field " + std::to_string(field) + ": " + longest[field]);
        const render::DotRect ink = inkBounds(testing_support::paintAlone(renderer, layout, field));
        EXPECT_EQ(ink.widthDots > 0, draws);
        EXPECT_TRUE(!draws || testing_support::inside(ink, placement.box));
    };
    for (const render::TextElement& element : layout.texts) check(element.fieldNumber, element.placement, !element.text.empty());
    for (const render::BarcodeElement& element : layout.barcodes) check(element.fieldNumber, element.placement, true);
}

INSTANTIATE_TEST_SUITE_P(ThreePrograms, SampleJobs, ::testing::ValuesIn(sampleJobs()),
                         [](const auto& job) { return job.param.format; });

}  // namespace
