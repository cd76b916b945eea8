// SPDX-License-Identifier: MIT
#include "zplsim/fault_script.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace zplsim {
namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 8> kNames{{
    {FaultKind::PaperOut, "paper-out"},
    {FaultKind::HeadOpen, "head-open"},
    {FaultKind::RibbonOut, "ribbon-out"},
    {FaultKind::Pause, "pause"},
    {FaultKind::BufferFull, "buffer-full"},
    {FaultKind::NoAnswer, "no-answer"},
    {FaultKind::Stall, "stall"},
    {FaultKind::Slow, "slow"},
}};

std::optional<long> wholeNumber(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty() || value < 0) return std::nullopt;
    return value;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool applyOption(FaultRule& rule, std::string_view option) {
    const auto equals = option.find('=');
    if (equals == std::string_view::npos) return false;
    const auto value = wholeNumber(option.substr(equals + 1));
    const std::string_view key = option.substr(0, equals);
    if (!value) return false;
    if (key == "after") {
        rule.afterLabel = static_cast<int>(*value);
    } else if (key == "for") {
        rule.duration = std::chrono::milliseconds(*value);
    } else if (key == "ms" && rule.kind == FaultKind::Slow) {
        rule.slowPerLabel = std::chrono::milliseconds(*value);
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::string_view faultName(FaultKind kind) {
    for (const auto& [known, name] : kNames) {
        if (known == kind) return name;
    }
    return "?";
}

std::optional<FaultRule> parseFaultRule(std::string_view text) {
    text = trimmed(text);
    const auto colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    FaultRule rule;
    const auto known = std::find_if(kNames.begin(), kNames.end(), [&](const auto& entry) { return entry.second == name; });
    if (known == kNames.end()) return std::nullopt;
    rule.kind = known->first;
    // After a colon every comma-separated part must be an option: "pause:" and "pause:for=1," are not.
    for (std::string_view options = text.substr(colon == std::string_view::npos ? text.size() : colon + 1);
         colon != std::string_view::npos;) {
        const auto comma = options.find(',');
        if (!applyOption(rule, options.substr(0, comma))) return std::nullopt;
        if (comma == std::string_view::npos) break;
        options.remove_prefix(comma + 1);
    }
    if (rule.kind == FaultKind::Slow && rule.slowPerLabel.count() == 0) return std::nullopt;
    return rule;
}

std::optional<std::vector<FaultRule>> parseFaultScript(std::string_view text, std::string& badLine) {
    std::vector<FaultRule> rules;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        auto rule = parseFaultRule(line);
        if (!rule) {
            badLine = line;
            return std::nullopt;
        }
        rules.push_back(*rule);
    }
    return rules;
}

}  // namespace zplsim
