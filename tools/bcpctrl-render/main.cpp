// SPDX-License-Identifier: MIT
// bcpctrl-render FORMAT [--set N=TEXT]... [--dpi N] [--grid] -o OUT.png|OUT.pdf
// Draws one label of a format with its default texts and the values given, as the
// control would print it, so that a format can be laid out without a printer.
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <unistd.h>

#include "core/io/output_file.h"
#include "labelformat/label_format.h"
#include "render/label_renderer.h"
#include "render/pdf.h"
#include "render/png.h"

namespace {

constexpr int kExitDrawn = 0;
constexpr int kExitRefused = 1;  // the format or a value cannot be drawn, or the output not written
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: bcpctrl-render FORMAT [--set N=TEXT]... [--dpi N] [--grid] -o OUT.png|OUT.pdf";

struct Request {
    std::filesystem::path format;
    std::vector<std::pair<std::int16_t, std::string>> values;
    int dotsPerInch = render::kDefaultDotsPerInch;
    bool grid = false;
    std::filesystem::path output;
};

struct Failure {
    int exitStatus;
    std::string message;
};

template <typename Number>
std::optional<Number> numberIn(std::string_view text, Number lowest, Number highest) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < lowest || value > highest) return std::nullopt;
    return value;
}

Failure usage(const std::string& what) { return {kExitUsage, what}; }

Failure refused(int errorNumber, const std::string& what) {
    return {kExitRefused, "error " + std::to_string(errorNumber) + ": " + what};
}

std::variant<Request, Failure> parseArguments(const std::vector<std::string_view>& arguments) {
    Request request;
    if (arguments.empty() || arguments.front() == "--help") return usage(std::string(kUsage));
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--grid") {
            request.grid = true;
        } else if ((argument == "--set" || argument == "--dpi" || argument == "-o") && !hasValue) {
            return usage(std::string(argument) + " needs a value");
        } else if (argument == "--set") {
            const std::string_view value = arguments[++i];
            const auto equals = value.find('=');
            const auto number = numberIn<std::int16_t>(value.substr(0, equals), 1, 32767);
            if (equals == std::string_view::npos || !number) return usage("--set takes N=TEXT with N from 1 to 32767");
            request.values.emplace_back(*number, std::string(value.substr(equals + 1)));
        } else if (argument == "--dpi") {
            const auto dpi = numberIn(arguments[++i], render::kLowestDotsPerInch, render::kHighestDotsPerInch);
            if (!dpi) return usage("--dpi takes a number from 100 to 1200");
            request.dotsPerInch = *dpi;
        } else if (argument == "-o") {
            request.output = arguments[++i];
        } else if (argument.starts_with('-') || !request.format.empty()) {
            return usage("unexpected argument " + std::string(argument));
        } else {
            request.format = argument;
        }
    }
    if (request.format.empty() || request.output.empty()) return usage("FORMAT and -o OUT are required");
    const auto extension = request.output.extension();
    if (extension != ".png" && extension != ".pdf") return usage("OUT must end in .png or .pdf");
    return request;
}

std::variant<labelformat::LabelFormat, Failure> readFormat(const std::filesystem::path& file) {
    auto format = labelformat::readLabelFormatFile(file);
    if (!format.ok()) {
        return refused(1300, "cannot read " + file.string() +
                                 ": missing, not JSON, or a key missing, wrongly typed or unknown in value");
    }
    if (labelformat::findLayoutError(format.value())) {
        return refused(1302, "layout error in " + file.string() +
                                 ": a label without area or larger than 254 x 650 mm, a box or static element not "
                                 "inside the label, or a field number outside 1..32767 or used twice");
    }
    return std::move(format.value());
}

// Notes for the format's author: what the control does to text that does not fit.
void reportFitting(const render::LabelLayout& layout, std::ostream& err) {
    for (const render::TextElement& element : layout.texts) {
        const render::TextBlock& block = element.block;
        const std::string field = "bcpctrl-render: field " + std::to_string(element.fieldNumber);
        if (block.unknownGlyphs > 0) {
            err << field << ": " << block.unknownGlyphs << " characters have no glyph in " << block.fontFamily << "\n";
        }
        if (block.clipped) {
            err << field << ": text cut to fit its box\n";
        } else if (block.condense < 1.0) {
            err << field << ": text condensed to " << static_cast<int>(block.condense * 100) << "%\n";
        }
    }
}

// The output is written in place: a regular file (made, or emptied first) or a character
// device. A FIFO would hold the command until a reader came, and a block device would be
// overwritten: they, a directory and a socket are refused before anything is drawn.
std::optional<Failure> refusedOutput(const std::filesystem::path& file) {
    if (bcpctrl::io::outputKindOf(file) != bcpctrl::io::OutputKind::Refused) return std::nullopt;
    return refused(1000, "cannot open " + file.string() +
                             ": not a regular file or a character device (a FIFO, socket, directory or block device)");
}

bool writeFile(const std::filesystem::path& file, const std::string& bytes) {
    const bool isDevice = bcpctrl::io::outputKindOf(file) == bcpctrl::io::OutputKind::CharacterDevice;
    bcpctrl::io::UniqueFd out = bcpctrl::io::openOutput(file, false);
    std::size_t written = 0;
    return out && (isDevice || ::ftruncate(out.get(), 0) == 0) && bcpctrl::io::writeAll(out.get(), bytes, written) &&
           out.reset();
}

std::optional<Failure> draw(const Request& request) {
    if (auto failure = refusedOutput(request.output)) return failure;
    auto formatOrFailure = readFormat(request.format);
    if (auto* failure = std::get_if<Failure>(&formatOrFailure)) return *failure;
    const auto& format = std::get<labelformat::LabelFormat>(formatOrFailure);
    labelformat::FieldValues values;
    for (const auto& field : format.fields) values[field.number] = field.defaultText;
    for (const auto& [number, text] : request.values) {
        if (format.findField(number) == nullptr) {
            return refused(1303, "the format has no field " + std::to_string(number));
        }
        values[number] = text;
    }
    auto renderer = render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded());
    if (!renderer.ok()) return refused(1300, "an image of the format cannot be read as a PNG file");
    std::string why;
    const auto content = renderer.value().content(values, &why);
    if (!content.ok()) return refused(1302, why);
    const render::LabelLayout layout = renderer.value().layOut(content.value(), request.dotsPerInch);
    reportFitting(layout, std::cerr);
    const render::PaintOptions options{render::Layer::All, request.grid};
    const std::string bytes = request.output.extension() == ".pdf"
                                  ? render::labelPdf(layout, options)
                                  : render::encodePng(renderer.value().paint(layout, options));
    if (!writeFile(request.output, bytes)) return refused(1003, "cannot write " + request.output.string());
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const auto parsed = parseArguments(arguments);
    std::optional<Failure> failure;
    if (const auto* parseFailure = std::get_if<Failure>(&parsed)) {
        failure = *parseFailure;
    } else {
        try {
            failure = draw(std::get<Request>(parsed));
        } catch (const std::bad_alloc&) {
            failure = Failure{kExitRefused, "out of memory: the label was not drawn"};
        }
    }
    if (failure) {
        std::cerr << "bcpctrl-render: " << failure->message << std::endl;
        return failure->exitStatus;
    }
    return kExitDrawn;
}
