// SPDX-License-Identifier: MIT
#include "zplsim/printer_model.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zplsim {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

std::string framed(const std::string& line) { return kStx + line + kEtx + "\r\n"; }

std::string padded(long value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*ld", digits, value);
    return text;
}

// The print-mode digit of the host status.
char printModeDigit(char mode) {
    switch (mode) {
        case 'P': return '1';
        case 'T': return '2';
        case 'C': return '3';
        case 'A': return '4';
        default: return '0';  // rewind
    }
}

}  // namespace

PrinterModel::PrinterModel(std::chrono::milliseconds printTime, std::vector<FaultRule> script, PrinterEvents events,
                           Clock::time_point now, long memoryKb)
    : printTime_(printTime),
      waitingRules_(std::move(script)),
      events_(std::move(events)),
      decoder_(DecoderEvents{
          [this](Label label) {
              lastPrintMode_ = label.printMode;
              lastLabelLength_ = label.labelLengthDots;
              if (events_.received) events_.received(label);
              if (label.prints()) buffer_.push_back({std::move(label), 0});
          },
          [this] {
              if (isActive(FaultKind::NoAnswer)) return;
              answers_ += hostStatus();
          },
          [this] {
              note("~JA: every format in the buffer cancelled");
              buffer_.clear();
              labelDoneAt_.reset();
          },
          [this](const std::string& name, const Bitmap& bitmap) {
              if (events_.stored) events_.stored(name, bitmap);
          },
          [this](const std::string& error) { note("rejected: " + error); },
          [this] { cutAfterNewest(); },
          [this] {
              if (!isActive(FaultKind::NoAnswer)) answers_ += memoryStatus();
          },
      }),
      memoryKb_(memoryKb) {
    startDueRules(now);
}

std::string PrinterModel::receive(std::string_view bytes, Clock::time_point now) {
    decoder_.feed(bytes);
    advance(now);
    return std::exchange(answers_, {});
}

void PrinterModel::advance(Clock::time_point now) {
    std::erase_if(active_, [&](const ActiveFault& fault) {
        const bool due = fault.clearAt && *fault.clearAt <= now;
        if (due) note(std::string(faultName(fault.rule.kind)) + " cleared");
        return due;
    });
    for (;;) {
        if (labelDoneAt_ && *labelDoneAt_ <= now) {
            finishLabel(now);
        } else if (!labelDoneAt_ && !buffer_.empty() && !stopsPrinting()) {
            labelDoneAt_ = now + labelTime();
        } else {
            return;
        }
    }
}

std::optional<Clock::time_point> PrinterModel::nextChange() const {
    std::optional<Clock::time_point> next = labelDoneAt_;
    for (const ActiveFault& fault : active_) {
        if (fault.clearAt && (!next || *fault.clearAt < *next)) next = fault.clearAt;
    }
    return next;
}

void PrinterModel::startFault(const FaultRule& rule, Clock::time_point now) {
    std::optional<Clock::time_point> clearAt;
    if (rule.duration) clearAt = now + *rule.duration;
    active_.push_back({rule, clearAt});
    note(std::string(faultName(rule.kind)) + " after label " + std::to_string(printed_));
}

void PrinterModel::clearFaults() {
    if (!active_.empty()) note("every fault cleared");
    active_.clear();
}

std::string PrinterModel::hostStatus() const {
    // The front format counts as printing from its first label to its last copy, paused or not.
    const bool frontStarted = labelDoneAt_ || (!buffer_.empty() && buffer_.front().copiesPrinted > 0);
    const long waitingFormats = static_cast<long>(buffer_.size()) - (frontStarted ? 1 : 0);
    const long remaining = frontStarted ? buffer_.front().label.copies - buffer_.front().copiesPrinted : 0;
    const auto flag = [this](FaultKind kind) { return isActive(kind) ? "1" : "0"; };
    const std::string first = std::string("030,") + flag(FaultKind::PaperOut) + "," + flag(FaultKind::Pause) + "," +
                              padded(lastLabelLength_, 4) + "," + padded(waitingFormats, 3) + "," +
                              flag(FaultKind::BufferFull) + ",0," + (decoder_.insideFormat() ? "1" : "0") +
                              ",000,0,0,0";
    const std::string second = std::string("001,0,") + flag(FaultKind::HeadOpen) + "," + flag(FaultKind::RibbonOut) +
                               ",0," + printModeDigit(lastPrintMode_) + ",0,0," + padded(remaining, 8) + ",1," +
                               padded(static_cast<long>(decoder_.storedGraphics().size()), 3);
    return framed(first) + framed(second) + framed("1234,0");
}

std::string PrinterModel::memoryStatus() const {
    const long free = std::max(0L, memoryKb_ - static_cast<long>(decoder_.storedBytes() / 1024));
    return framed(std::to_string(memoryKb_) + "," + padded(memoryKb_, 4) + "," + padded(free, 4));
}

bool PrinterModel::isActive(FaultKind kind) const {
    return std::any_of(active_.begin(), active_.end(), [kind](const ActiveFault& fault) { return fault.rule.kind == kind; });
}

// Out of paper or ribbon, head open or paused: the labels wait in the buffer.
bool PrinterModel::stopsPrinting() const {
    return isActive(FaultKind::PaperOut) || isActive(FaultKind::HeadOpen) || isActive(FaultKind::RibbonOut) ||
           isActive(FaultKind::Pause);
}

std::chrono::milliseconds PrinterModel::labelTime() const {
    for (const ActiveFault& fault : active_) {
        if (fault.rule.kind == FaultKind::Slow) return fault.rule.slowPerLabel;
    }
    return printTime_;
}

void PrinterModel::finishLabel(Clock::time_point now) {
    labelDoneAt_.reset();
    QueuedFormat& format = buffer_.front();
    ++format.copiesPrinted;
    ++printed_;
    if (events_.printed) events_.printed(format.label, format.copiesPrinted);
    if (format.copiesPrinted >= format.label.copies) buffer_.pop_front();
    startDueRules(now);
}

// ^CN1 between formats: the cutter cuts after the newest label once it is out.
void PrinterModel::cutAfterNewest() {
    if (buffer_.empty()) {
        note("^CN1: cut after the label already printed");
        return;
    }
    buffer_.back().label.cutNow = true;
}

void PrinterModel::startDueRules(Clock::time_point now) {
    std::vector<FaultRule> due;
    std::erase_if(waitingRules_, [&](const FaultRule& rule) {
        if (rule.afterLabel > printed_) return false;
        due.push_back(rule);
        return true;
    });
    for (const FaultRule& rule : due) startFault(rule, now);
}

void PrinterModel::note(const std::string& text) const {
    if (events_.note) events_.note(text);
}

}  // namespace zplsim
