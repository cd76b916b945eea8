// SPDX-License-Identifier: MIT
// Every input is a command line of all three programs: the goods edition's four arguments
// with its data kinds, the card edition's three, TSUBAKI's four without kinds. Loading it
// must never touch the control, and must either fill the job state by the rules or reject
// the line with exactly one message.
#include <string_view>
#include <variant>

#include "cards/cards_edition.h"
#include "frame/command_line.h"
#include "frame/issuing_form.h"
#include "fuzz_check.h"
#include "goods/goods_edition.h"
#include "tsubaki/tsubaki_edition.h"

namespace {

// Loading a window never calls the control.
class UntouchedControl : public frame::BcpControl {
public:
    void setPortSetting(const std::string&) override { __builtin_trap(); }
    void setUsePrinter(std::int16_t) override { __builtin_trap(); }
    frame::VbBool LoadFormat(std::string&, frame::ResultCode&) override { __builtin_trap(); }
    frame::VbBool OpenPort(std::int16_t&, frame::ResultCode&) override { __builtin_trap(); }
    frame::VbBool SetField(std::int16_t, std::string&, frame::ResultCode&) override { __builtin_trap(); }
    frame::VbBool Issue(std::int16_t, std::int16_t, std::string&, frame::ResultCode&) override { __builtin_trap(); }
    frame::VbBool ClosePort(frame::ResultCode&) override { __builtin_trap(); }
    void connectOnStatus(OnStatusHandler) override {}
    void deliverPendingEvents() override { __builtin_trap(); }
};

class CountingWindow : public frame::Window {
public:
    int boxes = 0;
    void setStatusText(const std::string&) override {}
    void yieldToEvents() override {}
    frame::MessageAnswer showMessage(const frame::MessageBox&) override {
        ++boxes;
        return frame::MessageAnswer::Ok;
    }
    void hide() override {}
    void unload() override {}
};

bool trimmed(std::string_view text) { return text.empty() || (text.front() != ' ' && text.back() != ' '); }

void checkEdition(const frame::Edition& edition, const std::string& line) {
    UntouchedControl control;
    CountingWindow window;
    frame::IssuingForm form(edition, window, control);
    const bool loaded = form.Form_Load(line);
    const frame::CommandLineParse parsed = frame::parseCommandLine(line, edition.commandLine);
    FUZZ_CHECK(loaded == std::holds_alternative<frame::CommandLineArgs>(parsed));
    if (!loaded) {
        FUZZ_CHECK(window.boxes == 1);
        FUZZ_CHECK(form.outcome() == frame::JobOutcome::Rejected);
        return;
    }
    FUZZ_CHECK(window.boxes == 0);
    const auto& args = std::get<frame::CommandLineArgs>(parsed);
    const frame::JobState& state = form.state();
    FUZZ_CHECK(trimmed(args.format) && trimmed(args.dataFile) && trimmed(args.driver));
    FUZZ_CHECK(state.JobArgs[1] == args.format && state.JobArgs[2] == args.dataFile);
    FUZZ_CHECK(state.PortKind == args.portKind);
    if (state.PortKind == "COM") {
        FUZZ_CHECK(state.PortSetting == "COM1:9600,E,8,1");
    } else if (state.PortKind != "DRV") {
        FUZZ_CHECK(state.PortSetting.empty());
    }
    if (edition.onlyKind == nullptr) FUZZ_CHECK(state.FieldCount > 0);
    const auto dataPath = hostpaths::mapCallerPath(args.dataFile, hostpaths::DriveTable::standard());
    FUZZ_CHECK(!dataPath || dataPath->string().find('\\') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line = fuzzing::textOf(data, size);
    for (const frame::Edition* edition : {&goods::kGoodsEdition, &cards::kCardsEdition, &tsubaki::kTsubakiEdition}) {
        checkEdition(*edition, line);
    }
    return 0;
}
