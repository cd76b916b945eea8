// SPDX-License-Identifier: MIT
#include "designer/check_command.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <variant>

#include "designer/fit_check.h"
#include "designer/format_file.h"
#include "designer/label_proof.h"
#include "designer/record_source.h"

namespace designer {
namespace {

constexpr std::string_view kUsage = "usage: bcpctrl-designer --check FORMAT.json [--data FILE --kind KIND] [--dpi N]";

struct CheckRequest {
    std::filesystem::path format;
    std::filesystem::path data;
    const DataKindChoice* kind = nullptr;
    int dotsPerInch = render::kDefaultDotsPerInch;
};

std::string kindNames() {
    std::string names;
    for (const DataKindChoice& choice : dataKindChoices()) names.append(names.empty() ? "" : ", ").append(choice.name);
    return names;
}

std::optional<int> dotsPerInchIn(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < render::kLowestDotsPerInch ||
        value > render::kHighestDotsPerInch) {
        return std::nullopt;
    }
    return value;
}

// The request, or what is wrong with the arguments.
std::variant<CheckRequest, std::string> parseArguments(std::span<const std::string_view> arguments) {
    CheckRequest request;
    std::optional<std::string_view> kindName;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool takesValue = argument == "--check" || argument == "--data" || argument == "--kind" || argument == "--dpi";
        if (!takesValue) return "unexpected argument " + std::string(argument);
        if (i + 1 >= arguments.size()) return std::string(argument) + " needs a value";
        const std::string_view value = arguments[++i];
        if (argument == "--check") {
            request.format = value;
        } else if (argument == "--data") {
            request.data = value;
        } else if (argument == "--kind") {
            kindName = value;
        } else if (const auto dpi = dotsPerInchIn(value)) {
            request.dotsPerInch = *dpi;
        } else {
            return "--dpi takes a number from 100 to 1200";
        }
    }
    if (request.format.empty()) return "--check FORMAT.json is required";
    if (request.data.empty() != !kindName) return "--data and --kind go together";
    if (kindName && (request.kind = findDataKindChoice(*kindName)) == nullptr) {
        return "unknown data kind " + std::string(*kindName) + " (one of " + kindNames() + ")";
    }
    return request;
}

class CheckRun {
public:
    CheckRun(const CheckRequest& request, std::ostream& out) : request_(request), out_(out) {}

    int run() {
        auto opened = FormatFile::open(request_.format);
        if (auto* error = std::get_if<std::string>(&opened)) {
            return refuse("format: error 1300 (" + *error + ")");
        }
        const FormatDocument& document = std::get<FormatFile>(opened).document();
        const auto usePrinter = request_.kind ? std::optional<std::int16_t>(request_.kind->edition->usePrinter) : std::nullopt;
        for (const Finding& finding : loadErrors(document, usePrinter)) {
            report("format", finding, finding.refusesOrUnreadable());
        }
        if (!document.format().ok()) return exitStatus();
        auto checker = LabelChecker::create(document.format().value(), render::Fonts::loadWhenNeeded());
        if (!checker.ok()) return exitStatus();  // an image the loader's check above named
        if (request_.kind != nullptr) {
            checkDataFile(checker.value());
        } else {
            checkSamples(checker.value(), document);
        }
        return exitStatus();
    }

private:
    void checkSamples(LabelChecker& checker, const FormatDocument& document) {
        const auto values = labelValues(checker.format(), sampleValues(document));
        const LabelProof proof = checker.proof(values, {request_.dotsPerInch, true});
        for (const Finding& finding : proof.findings) report("sample", finding, finding.refusesOrUnreadable());
    }

    void checkDataFile(LabelChecker& checker) {
        auto opened = RecordSource::open(request_.data, *request_.kind);
        if (auto* error = std::get_if<std::string>(&opened)) {
            refuse("data: refused (" + *error + ")");
            return;
        }
        const FitReport report = checkFit(checker, std::get<RecordSource>(opened), {{request_.dotsPerInch, true}, {}});
        for (const auto& [record, message] : report.refusedRecords) {
            refuse("record " + std::to_string(record) + ": refused (" + message + ")");
        }
        for (const FieldFit& fit : report.fields) {
            const std::string where = "record " + std::to_string(fit.worstRecord);
            const std::string count = " (" + std::to_string(fit.records) + (fit.records == 1 ? " record)" : " records)");
            out_ << where << " " << describeWhere(fit.worst) << ": " << describe(fit.worst) << count << "\n";
            failed_ = failed_ || fit.worst.refusesOrUnreadable();
        }
    }

    void report(std::string_view source, const Finding& finding, bool refuses) {
        out_ << source;
        if (finding.element()) out_ << " " << describeWhere(finding);
        out_ << ": " << describe(finding) << "\n";
        failed_ = failed_ || refuses;
    }

    int refuse(const std::string& line) {
        out_ << line << "\n";
        failed_ = true;
        return exitStatus();
    }

    int exitStatus() const { return failed_ ? kCheckFailed : kCheckPassed; }

    const CheckRequest& request_;
    std::ostream& out_;
    bool failed_ = false;
};

}  // namespace

bool wantsCheckCommand(std::span<const std::string_view> arguments) {
    return std::find(arguments.begin(), arguments.end(), "--check") != arguments.end();
}

int runCheckCommand(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err) {
    const auto parsed = parseArguments(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        err << "bcpctrl-designer: " << *problem << "\n" << kUsage << "\n";
        return kCheckUsage;
    }
    return CheckRun(std::get<CheckRequest>(parsed), out).run();
}

}  // namespace designer
