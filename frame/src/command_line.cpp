// SPDX-License-Identifier: MIT
#include "frame/command_line.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "frame/text.h"

namespace frame {
namespace {

// Positions are 1-based character positions, as the parse counts them; 0 means "not found".
class Line {
public:
    explicit Line(std::string_view line) : text_(fromUtf8(line)) {}

    std::size_t length() const { return text_.size(); }
    std::size_t trimmedLength() const { return trimBlanks(text_).size(); }

    std::size_t findSlash(std::size_t from) const {
        if (from == 0 || from > text_.size()) return 0;
        const auto at = text_.find(U'/', from - 1);
        return at == std::u32string::npos ? 0 : at + 1;
    }

    // `count` characters from `start`, or fewer at the end of the line.
    std::u32string_view mid(std::size_t start, std::size_t count) const {
        if (start > text_.size()) return {};
        return std::u32string_view(text_).substr(start - 1, count);
    }

private:
    std::u32string text_;
};

std::string trimmed(std::u32string_view text) { return toUtf8(trimBlanks(text)); }

// A length of the parse that has gone negative makes the line unusable.
bool negative(std::size_t from, std::size_t minus) { return minus > from; }

}  // namespace

std::string joinArguments(std::span<const char* const> arguments) {
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) line += ' ';
        line += arguments[i];
    }
    return line;
}

CommandLineParse parseCommandLine(std::string_view lineText, CommandLineForm form) {
    const Line line(lineText);
    if (line.length() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
        return CommandLineError::TooLong;
    }
    const std::size_t slashCount = form == CommandLineForm::FourArguments ? 4 : 3;
    std::array<std::size_t, 5> p{};  // p[1] to p[4]
    for (std::size_t i = 1; i <= slashCount; ++i) {
        p[i] = line.findSlash(p[i - 1] + 1);
        if (p[i] == 0) return CommandLineError::TooFewSlashes;
    }
    // Each later "/" is expected to stand one blank after the end of its argument.
    if (negative(p[3], p[2] + 2)) return CommandLineError::NegativeLength;

    CommandLineArgs args;
    args.format = trimmed(line.mid(p[1] + 1, p[2] - 2));
    args.dataFile = trimmed(line.mid(p[2] + 1, p[3] - p[2] - 2));

    const std::size_t lastSlash = p[slashCount];
    const std::size_t trimmedLength = line.trimmedLength();
    if (negative(trimmedLength + 1, lastSlash)) return CommandLineError::NegativeLength;
    const std::size_t restLength = trimmedLength + 1 - lastSlash;
    if (form == CommandLineForm::ThreeArguments) {
        args.portKind = toUtf8(line.mid(p[3] + 1, restLength));
        return args;
    }
    if (negative(p[4], p[3] + 2)) return CommandLineError::NegativeLength;
    args.portKind = toUtf8(line.mid(p[3] + 1, p[4] - p[3] - 2));
    args.driver = trimmed(line.mid(p[4] + 1, restLength));
    return args;
}

std::optional<std::string> portSettingFor(const CommandLineArgs& args, const Edition& edition) {
    if (args.portKind == kDriverPortKind) {
        return edition.fixedDriverSetting.empty() ? args.driver : std::string(edition.fixedDriverSetting);
    }
    if (args.portKind == kSerialPortKind) return std::string(kSerialPortSetting);
    return std::nullopt;
}

const DataKind* findDataKind(std::string_view line, std::span<const DataKind> kinds) {
    const DataKind* found = nullptr;
    for (const DataKind& kind : kinds) {
        if (line.find(kind.keyword) != std::string_view::npos) found = &kind;
    }
    return found;
}

}  // namespace frame
