// SPDX-License-Identifier: MIT
#include "frame/issuing_form.h"

#include <algorithm>
#include <new>
#include <utility>
#include <variant>

#include "frame/command_line.h"
#include "frame/printer_status.h"
#include "frame/result_messages.h"
#include "frame/text.h"
#include "frame/texts.h"

namespace frame {
namespace {

// A failure inside a step abandons that step only; the next step runs.
template <typename Step>
void ignoringFailure(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// A control method that throws has answered false, and CheckResult judges the result it
// left. Running out of memory is no answer of the control's: whatever the last result was,
// the job ends with the unexpected-failure message (Form_Activate).
template <typename Call>
bool answeredTrue(Call&& call) {
    try {
        return isTrue(call());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        return false;
    }
}

// A control call whose answer is not looked at: a failure skips it alone, but running out
// of memory ends the job (a label without one of its fields must not print).
template <typename Call>
void ignoringControlFailure(Call&& call) {
    try {
        call();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
    }
}

std::string issuingText(std::int64_t recordNumber) {
    return std::to_string(recordNumber).append(texts::kIssuingSuffix);
}

std::string rejectionText(CommandLineForm form) {
    const std::string_view usage = form == CommandLineForm::FourArguments
                                       ? "/ラベルフォーマット /データファイル /ポート種別 /ドライバ"
                                       : "/ラベルフォーマット /データファイル /ポート種別";
    return std::string(texts::kCommandLineRejected).append("\r\n(").append(usage).append(")");
}

std::int16_t portCodeFor(std::string_view portKind) {
    if (portKind == kDriverPortKind) return kPortCodeDriver;
    if (portKind == kSerialPortKind) return kPortCodeSerial;
    return kPortCodeUnknown;  // OpenPort gets 0 and the control answers for it
}

}  // namespace

IssuingForm::IssuingForm(const Edition& edition, Window& window, BcpControl& bcpCtrl, hostpaths::DriveTable drives)
    : edition_(edition), window_(window), bcpCtrl_(bcpCtrl), drives_(std::move(drives)) {
    bcpCtrl_.connectOnStatus(
        [this](const std::string& printerStatus, ResultCode result) { BcpCtrl_OnStatus(printerStatus, result); });
}

bool IssuingForm::Form_Load(std::string_view commandLine) {
    const CommandLineParse parsed = parseCommandLine(commandLine, edition_.commandLine);
    if (std::holds_alternative<CommandLineError>(parsed)) {
        outcome_ = JobOutcome::Rejected;
        showFailure(rejectionText(edition_.commandLine));
        return false;
    }
    const auto& args = std::get<CommandLineArgs>(parsed);
    if (edition_.onlyKind == nullptr) {
        const DataKind* kind = findDataKind(commandLine, edition_.dataKinds);
        state_.DataKind = kind ? std::string(kind->name) : std::string();
        state_.FieldCount = kind ? kind->fieldCount : edition_.fieldCountWithoutKind;
    }
    state_.PortKind = args.portKind;
    if (auto portSetting = portSettingFor(args, edition_)) state_.PortSetting = std::move(*portSetting);
    state_.StatusArrived = kVbFalse;
    state_.StopRequested = kVbFalse;
    state_.JobArgs[1] = args.format;
    state_.JobArgs[2] = args.dataFile;
    return true;
}

void IssuingForm::Form_Activate() {
    if (activated_) return;
    activated_ = true;
    ignoringFailure([&] { bcpCtrl_.setPortSetting(state_.PortSetting); });
    ignoringFailure([&] { bcpCtrl_.setUsePrinter(edition_.usePrinter); });
    bool finished = false;
    try {
        finished = IssueLabels();
    } catch (...) {
        outcome_ = JobOutcome::Failed;
        ignoringFailure([&] { showFailure(std::string(texts::kUnexpectedFailure)); });
    }
    dataFile_.reset();
    if (!closePort()) finished = false;
    ignoringFailure([&] { window_.hide(); });
    if (edition_.reportsCompletion && finished) {
        showMessage(std::string(texts::kCompleted), MessageIcon::Information, MessageButtons::Ok);
    }
    ignoringFailure([&] { window_.unload(); });
}

bool IssuingForm::IssueLabels() {
    state_.PrintedCount = 0;
    state_.IssuedCount = 0;
    showStatus(std::string(texts::kPreparing));
    doEvents();

    std::string formatName = state_.JobArgs[1];
    if (!answeredTrue([&] { return bcpCtrl_.LoadFormat(formatName, state_.LastResult); }) && !CheckResult()) {
        return endJob(JobOutcome::Failed);
    }
    // A name the drive table cannot map is a file that cannot be opened.
    const auto dataPath = hostpaths::mapCallerPath(state_.JobArgs[2], drives_);
    if (dataPath) dataFile_ = FieldReader::open(dataPath->string());
    if (!dataFile_) {
        showFailure(std::string(texts::kDataFileOpenFailed));
        return endJob(JobOutcome::Failed);
    }
    std::int16_t portCode = portCodeFor(state_.PortKind);
    if (!answeredTrue([&] { return bcpCtrl_.OpenPort(portCode, state_.LastResult); }) && !CheckResult()) {
        return endJob(JobOutcome::Failed);
    }
    showStatus(issuingText(1));
    doEvents();

    const DataKind* kind = recordKind();
    std::vector<std::string> record;
    while (!dataFile_->atEnd()) {
        // A fresh record array each time, unless the program keeps one buffer for the job.
        if (!edition_.reusesRecordBuffer || record.empty()) record.assign(static_cast<std::size_t>(recordLength()) + 1, {});
        if (const int failure = readRecord(record); failure != 0) {
            showFailure(std::string(texts::kReadFailedPrefix)
                            .append(withSignPosition(failure))
                            .append(texts::kReadFailedSuffix));
            return endJob(JobOutcome::Failed);
        }
        setFields(kind, record);
        if (!answeredTrue([&] {
                return bcpCtrl_.Issue(1, edition_.issueSecondArgument, state_.LastStatus, state_.LastResult);
            }) &&
            !CheckResult()) {
            return endJob(JobOutcome::Failed);
        }
        ++state_.IssuedCount;
        ++state_.PrintedCount;
        showStatus(issuingText(state_.PrintedCount));
        doEvents();
        if (isTrue(state_.StopRequested)) return endJob(JobOutcome::Stopped);
        if (state_.PortKind == kSerialPortKind && takeStatusArrived() && !CheckResult()) {
            return endJob(JobOutcome::Failed);
        }
    }
    return waitForConfirmations(portCode);
}

// Only a control that rewrote the serial port's code to 1 makes a serial job wait here,
// and only while labels are unconfirmed; with the counters advanced together after every
// record the condition never holds.
bool IssuingForm::waitForConfirmations(std::int16_t portCode) {
    if (state_.PortKind == kSerialPortKind && portCode == kPortCodeDriver) {
        while (state_.PrintedCount < state_.IssuedCount) {
            doEvents();
            if (isTrue(state_.StopRequested)) return endJob(JobOutcome::Stopped);
            if (takeStatusArrived() && !CheckResult()) return endJob(JobOutcome::Failed);
        }
    }
    return endJob(JobOutcome::Finished);
}

// Labels a printer still holds when the port closes can fail to leave (a PDF that cannot be
// written, a printer that takes nothing more). A job that had not failed already then ends
// with that failure's message, never quietly and never with the completion message.
bool IssuingForm::closePort() {
    bool closed = true;
    bool outOfMemory = false;
    try {
        closed = isTrue(bcpCtrl_.ClosePort(state_.LastResult));
    } catch (const std::bad_alloc&) {
        closed = false;
        outOfMemory = true;
    } catch (...) {
    }
    const bool stillSound = outcome_ == JobOutcome::Finished || outcome_ == JobOutcome::Stopped;
    if (closed || !stillSound) return true;
    if (outOfMemory) {
        ignoringFailure([&] { window_.hide(); });
        showFailure(std::string(texts::kUnexpectedFailure));
    } else if (CheckResult()) {
        return true;
    }
    outcome_ = JobOutcome::Failed;
    return false;
}

bool IssuingForm::CheckResult() {
    if (state_.LastResult == kPrinterStatusReport) {
        if (!printer_status::isNormalState(state_.LastStatus)) showStatus(printerFaultText(state_.LastStatus));
        return true;
    }
    ignoringFailure([&] { window_.hide(); });
    showFailure(stopMessageFor(state_.LastResult).append(texts::kJobEnds));
    return false;
}

void IssuingForm::BcpCtrl_OnStatus(const std::string& PrinterStatus, ResultCode Result) {
    state_.StatusArrived = kVbTrue;
    state_.LastResult = Result;
    if (Result != kPrinterStatusReport) return;
    state_.LastStatus = PrinterStatus;
    if (leftChars(state_.LastStatus, 2) == printer_status::kLabelPrinted) {
        ++state_.PrintedCount;
        showStatus(issuingText(state_.PrintedCount + 1));
    }
}

void IssuingForm::cmdStop_Click() {
    const MessageAnswer answer =
        showMessage(std::string(texts::kStopQuestion), MessageIcon::Question, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) state_.StopRequested = kVbTrue;
}

void IssuingForm::requestStop() { state_.StopRequested = kVbTrue; }

bool IssuingForm::endJob(JobOutcome outcome) {
    outcome_ = outcome;
    return outcome == JobOutcome::Finished;
}

// Control events queued since the last yield are raised first, then the window's own.
void IssuingForm::doEvents() {
    ignoringControlFailure([&] { bcpCtrl_.deliverPendingEvents(); });
    ignoringFailure([&] { window_.yieldToEvents(); });
}

void IssuingForm::showStatus(const std::string& text) {
    ignoringFailure([&] { window_.setStatusText(text); });
}

MessageAnswer IssuingForm::showMessage(std::string text, MessageIcon icon, MessageButtons buttons) {
    MessageAnswer answer = MessageAnswer::No;
    ignoringFailure([&] {
        answer = window_.showMessage(MessageBox{std::move(text), std::string(texts::kMessageTitle), icon, buttons});
    });
    return answer;
}

void IssuingForm::showFailure(std::string text) {
    showMessage(std::move(text), MessageIcon::Exclamation, MessageButtons::Ok);
}

const DataKind* IssuingForm::recordKind() const {
    if (edition_.onlyKind != nullptr) return edition_.onlyKind;
    for (const DataKind& kind : edition_.dataKinds) {
        if (state_.DataKind == kind.name) return &kind;
    }
    return nullptr;  // the record is issued with no field set
}

// At least one field, so that every record moves the job through its file.
std::int16_t IssuingForm::recordLength() const {
    const std::int16_t length = edition_.onlyKind != nullptr ? edition_.onlyKind->fieldCount : state_.FieldCount;
    return std::max<std::int16_t>(length, 1);
}

// Every position is read even after a failure; the last failure number is the one shown.
int IssuingForm::readRecord(std::vector<std::string>& record) {
    int failure = 0;
    for (std::size_t position = 1; position < record.size(); ++position) {
        if (const int read = dataFile_->readField(record[position]); read != 0) failure = read;
    }
    return failure;
}

void IssuingForm::setFields(const DataKind* kind, std::vector<std::string>& record) {
    if (kind == nullptr) return;
    for (const LabelRow& row : kind->table) {
        const auto position = static_cast<std::size_t>(row.recordPosition);
        if (position == 0 || position >= record.size()) continue;  // a table never reads past its record
        ignoringControlFailure([&] { bcpCtrl_.SetField(row.labelField, record[position], state_.LastResult); });
    }
}

bool IssuingForm::takeStatusArrived() {
    const bool arrived = isTrue(state_.StatusArrived);
    state_.StatusArrived = kVbFalse;
    return arrived;
}

}  // namespace frame
