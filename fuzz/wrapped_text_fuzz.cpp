// SPDX-License-Identifier: MIT
// Every input is a text field and its text: six bytes of box, type, alignment, rotation,
// wrapping, resolution and repeats, then the text, repeated (when the last of them is 128
// or more) up to 2 MiB. Whatever its length the
// text is fitted: its lines one below another, none far outside the box, no more than the
// box holds, and a text cut shows "…" at its end.
#include <string>

#include "labelformat/label_format.h"
#include "render/label_renderer.h"
#include "fuzz_check.h"

namespace {

constexpr std::size_t kParameterBytes = 6;
constexpr std::size_t kMostTextBytes = 2 * 1024 * 1024;

labelformat::LabelFormat formatFor(const std::uint8_t* parameters) {
    labelformat::LabelFormat format;
    labelformat::LabelField field;
    field.number = 1;
    field.xMm = 2.0;
    field.yMm = 2.0;
    field.widthMm = 1.0 + parameters[0] % 100;
    field.heightMm = 1.0 + parameters[1] % 60;
    field.font.sizePt = 2.0 + parameters[2] % 100;
    field.wrap = (parameters[3] & 1u) != 0;
    field.align = static_cast<labelformat::Align>((parameters[3] >> 1) % 3);
    field.rotationDeg = (parameters[3] >> 3) % 4 * 90;
    field.font.bold = (parameters[3] & 0x20u) != 0;
    format.widthMm = field.widthMm + 4.0;
    format.heightMm = field.heightMm + 4.0;
    format.fields.push_back(field);
    format.indexFields();
    return format;
}

std::string textOf(const std::uint8_t* data, std::size_t size, unsigned repeatExponent) {
    const std::string once = fuzzing::textOf(data, size);
    std::string text;
    const unsigned exponent = repeatExponent >= 128 ? repeatExponent % 21 : 0;  // long texts are slow: half the inputs
    for (std::size_t times = std::size_t{1} << exponent; times > 0 && text.size() + once.size() <= kMostTextBytes; --times) {
        text += once;
    }
    return text.empty() ? once.substr(0, kMostTextBytes) : text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto fonts = render::Fonts::loadWhenNeeded();
    if (size < kParameterBytes) return 0;
    const labelformat::LabelFormat format = formatFor(data);
    FUZZ_CHECK(!labelformat::findLayoutError(format));
    constexpr int kResolutions[] = {203, 300, 600};
    const int dotsPerInch = kResolutions[data[4] % 3];
    const std::string text = textOf(data + kParameterBytes, size - kParameterBytes, data[5]);
    auto renderer = std::move(render::LabelRenderer::create(format, fonts).value());
    const auto content = renderer.content({{1, text}});
    FUZZ_CHECK(content.ok());
    const render::LabelLayout layout = renderer.layOut(content.value(), dotsPerInch);
    const render::TextBlock& block = layout.texts.front().block;
    FUZZ_CHECK(text.empty() == block.lines.empty());
    const double slackDots = 4.0 * block.fontSizeDots + 2.0;  // a glyph wider than its box stays whole
    const double mostLines = block.area.heightDots / (0.5 * block.fontSizeDots) + 2.0;
    FUZZ_CHECK(static_cast<double>(block.lines.size()) <= std::max(mostLines, 1.0));
    int baselineAbove = -1'000'000;
    for (const render::TextLine& line : block.lines) {
        FUZZ_CHECK(line.baselineDots > baselineAbove);
        baselineAbove = line.baselineDots;
        FUZZ_CHECK(line.widthDots >= 0 && line.widthDots <= block.area.widthDots + slackDots);
        FUZZ_CHECK(line.xDots >= -slackDots && line.xDots <= block.area.widthDots + slackDots);
    }
    if (block.clipped) FUZZ_CHECK(block.lines.back().shownText.ends_with("…"));
    const render::Raster field = renderer.paintField(layout, 1);
    FUZZ_CHECK(field.widthDots == layout.texts.front().placement.box.widthDots);
    return 0;
}
