// SPDX-License-Identifier: MIT
#include "zpl/host_status.h"

#include <charconv>


namespace zpl {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr std::size_t kFirstStringFields = 12;
constexpr std::size_t kSecondStringFields = 11;

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> parts;
    for (auto comma = text.find(','); comma != std::string_view::npos; comma = text.find(',')) {
        parts.push_back(text.substr(0, comma));
        text.remove_prefix(comma + 1);
    }
    parts.push_back(text);
    return parts;
}

std::optional<long> number(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty() || value < 0) return std::nullopt;
    return value;
}

std::optional<HostStatus> parseStrings(std::string_view first, std::string_view second) {
    const auto one = fields(first);
    const auto two = fields(second);
    if (one.size() != kFirstStringFields || two.size() != kSecondStringFields) return std::nullopt;
    const auto formats = number(one[4]);
    const auto remaining = number(two[8]);
    if (!formats || !remaining) return std::nullopt;
    HostStatus status;
    status.paperOut = one[1] == "1";
    status.paused = one[2] == "1";
    status.formatsInBuffer = *formats;
    status.bufferFull = one[5] == "1";
    status.partialFormat = one[7] == "1";
    status.corruptRam = one[9] == "1";
    status.underTemperature = one[10] == "1";
    status.overTemperature = one[11] == "1";
    status.headUp = two[2] == "1";
    status.ribbonOut = two[3] == "1";
    status.labelsRemaining = *remaining;
    return status;
}

enum class Scan { Complete, Incomplete, Malformed };

// The three strings from the STX at the front; `end` is where the answer stops.
Scan scanAnswer(std::string_view text, std::vector<std::string_view>& strings, std::size_t& end) {
    std::size_t at = 0;
    for (int string = 0; string < 3; ++string) {
        while (at < text.size() && (text[at] == '\r' || text[at] == '\n')) ++at;
        if (at >= text.size()) return Scan::Incomplete;
        if (text[at] != kStx) return Scan::Malformed;
        const auto etx = text.find(kEtx, at);
        if (etx == std::string_view::npos) return Scan::Incomplete;
        const std::string_view inside = text.substr(at + 1, etx - at - 1);
        if (inside.find(kStx) != std::string_view::npos) return Scan::Malformed;
        strings.push_back(inside);
        at = etx + 1;
    }
    end = at;
    return Scan::Complete;
}

}  // namespace

std::optional<HostStatus> takeHostStatus(std::string& incoming) {
    for (;;) {
        const auto stx = incoming.find(kStx);
        incoming.erase(0, stx == std::string::npos ? incoming.size() : stx);
        if (incoming.empty()) return std::nullopt;
        std::vector<std::string_view> strings;
        std::size_t end = 0;
        const Scan scan = scanAnswer(incoming, strings, end);
        if (scan == Scan::Incomplete) return std::nullopt;
        if (scan == Scan::Malformed) {
            incoming.erase(0, 1);  // look for the next STX
            continue;
        }
        auto status = parseStrings(strings[0], strings[1]);
        incoming.erase(0, end);
        if (status) return status;
    }
}

std::optional<long> takeFreeMemoryKb(std::string& incoming) {
    const auto stx = incoming.find(kStx);
    const auto etx = stx == std::string::npos ? std::string::npos : incoming.find(kEtx, stx);
    if (etx == std::string::npos) return std::nullopt;
    const std::vector<std::string_view> parts = fields(std::string_view(incoming).substr(stx + 1, etx - stx - 1));
    const auto free = parts.size() == 3 ? number(parts[2]) : std::nullopt;
    incoming.erase(0, etx + 1);
    return free;
}

long labelsInPrinter(const HostStatus& status, const std::vector<int>& copiesOfUnprintedFormats) {
    const long waiting = status.formatsInBuffer + (status.partialFormat ? 1 : 0);
    long labels = status.labelsRemaining;
    long counted = 0;
    for (auto copies = copiesOfUnprintedFormats.rbegin(); copies != copiesOfUnprintedFormats.rend() && counted < waiting;
         ++copies, ++counted) {
        labels += *copies;
    }
    return labels;
}

}  // namespace zpl
