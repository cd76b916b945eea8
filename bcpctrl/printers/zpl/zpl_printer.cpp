// SPDX-License-Identifier: MIT
// ZPL II label printers on a serial port or the network. Each Issue sends one format and,
// unless a status query is still unanswered, ~HS after it; poll() reads the answers
// without waiting and keeps asking, at most once a status interval, while labels are
// unconfirmed or a fault is on. From the answers come "40" for every Issue whose labels
// have all left the printer, the fault state when a fault appears, and "00" when it clears.
#include <algorithm>
#include <chrono>
#include <deque>
#include <limits>
#include <thread>
#include <variant>

#include "bcpctrl/printer_link.h"
#include "bcpctrl/printer_status.h"
#include "bcpctrl/result_codes.h"
#include "bcpctrl/zpl_host_status.h"
#include "bcpctrl/zpl_label_encoder.h"
#include "printer_kinds.h"

namespace bcpctrl {
namespace {

using namespace json_reading;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kDefaultTcpPort = 9100;
constexpr const char* kStatusQuery = "~HS";
// The line of a serial device reached through a printer name without a "serial" key.
const SerialPort kDefaultLine{"COM1", 9600, 'N', 8, 1};
constexpr int kLongestTimeoutMs = 600000;
// Issue returns once no more than this much of the serial line's time is still ahead, so
// the line never runs dry and little more than one label is ever on its way.
constexpr milliseconds kLineBacklog{100};
// A printer that takes no byte for this long, beyond the time the line needs, holds its flow
// control because its receive buffer is full: Issue leaves the rest of the label to be sent
// while the host yields and reports "16", so that the status line shows it meanwhile.
constexpr milliseconds kFlowControlHold{250};

struct ZplTiming {
    milliseconds write{10000};          // no byte taken for this long: 1003
    milliseconds statusAnswer{3000};    // no answer this long after the query left: 1101
    milliseconds statusInterval{250};   // at most one query per interval while polling
    milliseconds connect{3000};
};

struct SerialDevice {
    std::filesystem::path path;
    std::optional<SerialPort> line;  // the entry's own "serial"; else the COM setting's
    FlowControl flow = FlowControl::None;
};

struct NetworkPrinter {
    std::string host;
    int port = kDefaultTcpPort;
};


class ZplPrinter final : public Printer {
public:
    ZplPrinter(PrinterLink link, std::unique_ptr<zpl::LabelEncoder> encoder, ZplTiming timing)
        : link_(std::move(link)), encoder_(std::move(encoder)), timing_(timing) {}

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override;
    void poll(StatusEvents& events) override;
    frame::ResultCode close() override;

private:
    struct Query {
        long labelsBefore = 0;   // labels sent before the query, in formatsBefore formats
        long formatsBefore = 0;
        std::optional<std::uint64_t> writtenThrough;  // the link's byte count once the query was written
        Clock::time_point onLineUntil{};              // when the line will have carried it
        std::optional<Clock::time_point> leftAt;      // when it was seen to have left this machine
    };
    struct SentFormat {
        long number = 0;  // formats counted from 1 in the job
        int copies = 1;
        long labelsThrough = 0;  // labels sent up to and including this format
    };

    WriteProgress sendOutbox();
    void reportHold(StatusEvents& events);
    bool outboxTimedOut(Clock::time_point now) const;
    void ask();
    void noteQueryWritten();
    void keepPaceWithTheLine() const;
    void takeAnswers(StatusEvents& events);
    void apply(const zpl::HostStatus& status, const Query& query, StatusEvents& events);
    void confirmPrinted(long labelsPrinted, StatusEvents& events);
    bool answerOverdue(Clock::time_point now);
    frame::ResultCode fail(ErrorNumber number);
    static void raise(frame::ResultCode failure, StatusEvents& events);

    PrinterLink link_;
    std::unique_ptr<zpl::LabelEncoder> encoder_;
    ZplTiming timing_;
    std::string outbox_;    // bytes the link has not taken yet; always sent before new ones
    Clock::time_point outboxMovedAt_{};  // when the link last took from it, or it was filled from empty
    std::string incoming_;  // answers not yet read whole
    std::deque<SentFormat> unprinted_;
    long formatsSent_ = 0;
    long labelsSent_ = 0;
    long labelsPrinted_ = 0;
    std::optional<Query> query_;
    Clock::time_point lastQuery_{};
    std::string_view fault_;  // the fault state reported last, empty when none
    std::optional<frame::ResultCode> failure_;
};

IssueAnswer ZplPrinter::issue(const LabelToPrint& label, StatusEvents& events) {
    if (failure_) return {*failure_, ""};
    link_.readAvailable(incoming_);  // a link that failed is poll's to report
    takeAnswers(events);
    const int copies = std::max(label.copies, 1);
    if (outbox_.empty()) outboxMovedAt_ = Clock::now();
    outbox_ += encoder_->encodeIssue(label);
    ++formatsSent_;
    labelsSent_ += copies;
    unprinted_.push_back({formatsSent_, copies, labelsSent_});
    if (!query_) ask();
    switch (sendOutbox()) {
        case WriteProgress::Failed: return {fail(ErrorNumber::WriteFailed), ""};
        case WriteProgress::Held: reportHold(events); return {frame::kPrinterStatusReport, std::string(fault_)};
        case WriteProgress::Done: break;
    }
    noteQueryWritten();
    keepPaceWithTheLine();
    link_.readAvailable(incoming_);
    takeAnswers(events);
    if (!fault_.empty()) return {frame::kPrinterStatusReport, std::string(fault_)};
    return {kSuccess, std::string(unprinted_.empty() ? printer_status::kReady : printer_status::kPrinting)};
}

void ZplPrinter::poll(StatusEvents& events) {
    if (failure_ || !link_.isOpen()) return;
    if (!link_.readAvailable(incoming_)) return raise(fail(ErrorNumber::CommunicationError), events);
    takeAnswers(events);
    if (!link_.writeNow(outbox_)) return raise(fail(ErrorNumber::WriteFailed), events);
    outboxMovedAt_ = std::max(outboxMovedAt_, link_.lastWriteAt());
    noteQueryWritten();
    const auto now = Clock::now();
    if (outboxTimedOut(now)) return raise(fail(ErrorNumber::WriteFailed), events);
    if (query_) {
        if (answerOverdue(now)) raise(fail(ErrorNumber::CommunicationError), events);
        return;
    }
    if ((!unprinted_.empty() || !fault_.empty()) && now - lastQuery_ >= timing_.statusInterval) {
        ask();
        if (!link_.writeNow(outbox_)) return raise(fail(ErrorNumber::WriteFailed), events);
        noteQueryWritten();
    }
}

// The end of the job: whatever is still to be sent, and what the encoder frees.
// Labels that never left for the printer fail the job's end instead of ending it quietly.
frame::ResultCode ZplPrinter::close() {
    bool sent = true;
    if (!failure_ && link_.isOpen()) {
        outbox_ += encoder_->endOfJob();
        sent = link_.writeAll(outbox_, timing_.write, incoming_);
    }
    link_.close();
    return sent ? kSuccess : resultCodeOf(ErrorNumber::WriteFailed);
}

// The outbox goes out until the printer holds its flow control (Held) or the write time runs
// out with no byte taken (Failed).
WriteProgress ZplPrinter::sendOutbox() {
    const auto left = std::chrono::duration_cast<milliseconds>(timing_.write - (Clock::now() - outboxMovedAt_));
    const WriteProgress progress =
        link_.writeUntilHeld(outbox_, std::clamp(left, milliseconds(0), kFlowControlHold), incoming_);
    outboxMovedAt_ = std::max(outboxMovedAt_, link_.lastWriteAt());
    if (progress == WriteProgress::Held && outboxTimedOut(Clock::now())) return WriteProgress::Failed;
    return progress;
}

// A full buffer is queued like a fault the host status reports, once, unless another fault
// is already on; the next answer without a fault clears it with "00".
void ZplPrinter::reportHold(StatusEvents& events) {
    if (!fault_.empty()) return;
    fault_ = printer_status::kBufferFull;
    events.push_back({std::string(fault_), frame::kPrinterStatusReport});
}

bool ZplPrinter::outboxTimedOut(Clock::time_point now) const {
    return !outbox_.empty() && now - outboxMovedAt_ >= timing_.write;
}

void ZplPrinter::ask() {
    outbox_ += kStatusQuery;
    query_ = Query{};
    query_->labelsBefore = labelsSent_;
    query_->formatsBefore = formatsSent_;
    lastQuery_ = Clock::now();
}

void ZplPrinter::noteQueryWritten() {
    if (!query_ || query_->writtenThrough || !outbox_.empty()) return;
    query_->writtenThrough = link_.bytesWritten();
    query_->onLineUntil = link_.lineFreeAt();
}

void ZplPrinter::keepPaceWithTheLine() const {
    const auto due = link_.lineFreeAt() - kLineBacklog;
    if (due > Clock::now()) std::this_thread::sleep_until(due);
}

void ZplPrinter::takeAnswers(StatusEvents& events) {
    while (query_) {
        const auto status = zpl::takeHostStatus(incoming_);
        if (!status) return;
        const Query answered = *query_;
        query_.reset();
        apply(*status, answered, events);
    }
    incoming_.clear();  // nothing was asked: whatever came is not an answer
}

// Queued in the order an operator would see them: a fault cleared, labels printed, a new fault.
void ZplPrinter::apply(const zpl::HostStatus& status, const Query& query, StatusEvents& events) {
    const std::string_view state = zpl::printerState(status);
    if (!fault_.empty() && state == printer_status::kReady) {
        events.push_back({std::string(printer_status::kReady), frame::kPrinterStatusReport});
        fault_ = {};
    }
    std::vector<int> copies;
    for (const SentFormat& format : unprinted_) {
        if (format.number <= query.formatsBefore) copies.push_back(format.copies);
    }
    const long printed = query.labelsBefore - zpl::labelsInPrinter(status, copies);
    confirmPrinted(std::clamp(printed, labelsPrinted_, query.labelsBefore), events);
    if (state != printer_status::kReady && state != fault_) {
        events.push_back({std::string(state), frame::kPrinterStatusReport});
        fault_ = state;
    }
}

// One "40" for every Issue whose copies have all been printed.
void ZplPrinter::confirmPrinted(long labelsPrinted, StatusEvents& events) {
    labelsPrinted_ = labelsPrinted;
    while (!unprinted_.empty() && unprinted_.front().labelsThrough <= labelsPrinted_) {
        unprinted_.pop_front();
        events.push_back({kLabelIssuedStatus, frame::kPrinterStatusReport});
    }
}

// The time for an answer runs from the moment the query has left this machine: the
// output queue has sent it, and the line has had the time to carry it.
bool ZplPrinter::answerOverdue(Clock::time_point now) {
    const std::uint64_t sent = link_.bytesWritten() - std::min<std::uint64_t>(link_.bytesWritten(), link_.unsentBytes());
    if (!query_->writtenThrough || sent < *query_->writtenThrough || now < query_->onLineUntil) {
        query_->leftAt.reset();
        return false;
    }
    if (!query_->leftAt) query_->leftAt = now;
    return now - *query_->leftAt >= timing_.statusAnswer;
}

// The job cannot go on: every later Issue answers the same, so that a driver job stops
// too (a serial job stops at the event already). Nothing more is sent after a broken
// format.
frame::ResultCode ZplPrinter::fail(ErrorNumber number) {
    failure_ = resultCodeOf(number);
    link_.close();
    return *failure_;
}

void ZplPrinter::raise(frame::ResultCode failure, StatusEvents& events) { events.push_back({"", failure}); }

struct ZplEntry final : PrinterEntry {
    std::variant<SerialDevice, NetworkPrinter> connection;
    zpl::EncoderSettings encoder;
    ZplTiming timing;

    PortOpening open(const PortContext& port) const override {
        auto link = openLink(port);
        if (!link) return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
        return {kSuccess, std::make_unique<ZplPrinter>(std::move(*link), zpl::makeLabelEncoder(encoder), timing)};
    }
    int drawingDotsPerInch() const override { return encoder.dotsPerInch; }  // the renderer lays every label out

private:
    std::optional<PrinterLink> openLink(const PortContext& port) const {
        if (const auto* network = std::get_if<NetworkPrinter>(&connection)) {
            return PrinterLink::connectTcp(network->host, network->port, timing.connect);
        }
        const auto& device = std::get<SerialDevice>(connection);
        const auto* comPort = std::get_if<SerialPort>(&port.address);
        const SerialPort line = device.line ? *device.line : comPort ? *comPort : kDefaultLine;
        return PrinterLink::openSerial(device.path, line, device.flow);
    }
};

int readBounded(const Json& value, int lowest, int highest) {
    const std::int64_t number = readInteger(value);
    if (number < lowest || number > highest) throw JsonShapeError{};
    return static_cast<int>(number);
}

template <typename T>
T readChoice(const Json& value, std::initializer_list<std::pair<std::string_view, T>> choices) {
    const std::string text = readString(value);
    for (const auto& [name, choice] : choices) {
        if (name == text) return choice;
    }
    throw JsonShapeError{};
}

SerialDevice readDevice(const Json& entry) {
    SerialDevice device;
    device.path = readString(member(entry, "device"));
    if (device.path.empty()) throw JsonShapeError{};
    if (const Json* line = optionalMember(entry, "serial")) {
        const auto parsed = parsePortSetting("COM1:" + readString(*line));
        if (!parsed) throw JsonShapeError{};
        device.line = std::get<SerialPort>(*parsed);
    }
    if (const Json* flow = optionalMember(entry, "flowControl")) {
        device.flow = readChoice<FlowControl>(
            *flow, {{"none", FlowControl::None}, {"xonxoff", FlowControl::XonXoff}, {"rtscts", FlowControl::RtsCts}});
    }
    return device;
}

NetworkPrinter readNetwork(const Json& entry) {
    NetworkPrinter network{readString(member(entry, "host")), kDefaultTcpPort};
    if (network.host.empty()) throw JsonShapeError{};
    if (const Json* port = optionalMember(entry, "port")) network.port = readBounded(*port, 1, 65535);
    return network;
}

// "E:NAME.TTF": a drive of the printer (R, E, B or A), a colon and a file name of letters,
// digits, "_", "-" and ".", so that the name cannot end or change the command it goes into.
std::string readFontName(const Json& value) {
    std::string name = readString(value);
    const auto fileCharacter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    };
    if (name.size() < 3 || std::string_view("REBA").find(name[0]) == std::string_view::npos || name[1] != ':' ||
        !std::all_of(name.begin() + 2, name.end(), fileCharacter)) {
        throw JsonShapeError{};
    }
    return name;
}

void readMilliseconds(const Json& entry, std::string_view key, milliseconds& value, int lowest) {
    if (const Json* given = optionalMember(entry, key)) value = milliseconds(readBounded(*given, lowest, kLongestTimeoutMs));
}

}  // namespace

namespace printer_kinds {

// {"type": "zpl", "device": "/dev/ttyUSB0" or "host": ..., "port": 9100, options}
std::unique_ptr<const PrinterEntry> readZplEntry(const Json& entry) {
    auto zplEntry = std::make_unique<ZplEntry>();
    const bool hasDevice = optionalMember(entry, "device") != nullptr;
    if (hasDevice == (optionalMember(entry, "host") != nullptr)) throw JsonShapeError{};
    if (hasDevice) {
        zplEntry->connection = readDevice(entry);
    } else {
        zplEntry->connection = readNetwork(entry);
    }
    if (const Json* dpi = optionalMember(entry, "dotsPerInch")) zplEntry->encoder.dotsPerInch = readBounded(*dpi, 100, 1200);
    if (const Json* cutter = optionalMember(entry, "cutter")) zplEntry->encoder.printerHasCutter = readBool(*cutter);
    if (const Json* graphics = optionalMember(entry, "graphics")) {
        zplEntry->encoder.compression = readChoice<zpl::GraphicCompression>(
            *graphics, {{"z64", zpl::GraphicCompression::Z64}, {"hex", zpl::GraphicCompression::Hex}});
    }
    if (const Json* font = optionalMember(entry, "japaneseFont")) zplEntry->encoder.japaneseFont = readFontName(*font);
    readMilliseconds(entry, "writeTimeoutMs", zplEntry->timing.write, 1);
    readMilliseconds(entry, "statusTimeoutMs", zplEntry->timing.statusAnswer, 1);
    readMilliseconds(entry, "statusIntervalMs", zplEntry->timing.statusInterval, 0);
    readMilliseconds(entry, "connectTimeoutMs", zplEntry->timing.connect, 1);
    return zplEntry;
}

}  // namespace printer_kinds
}  // namespace bcpctrl
