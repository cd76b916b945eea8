// SPDX-License-Identifier: MIT
#include "options.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <string_view>

namespace zplsim {
namespace {

std::optional<long> wholeNumber(std::string_view text, long highest) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty() || value < 0 || value > highest) {
        return std::nullopt;
    }
    return value;
}

bool readScript(const std::string& file, Options& options, std::string& error) {
    std::ifstream stream(file);
    if (!stream) {
        error = "cannot read the script " + file;
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    std::string badLine;
    const auto rules = parseFaultScript(text, badLine);
    if (!rules) {
        error = "bad script line: " + badLine;
        return false;
    }
    options.faults.insert(options.faults.end(), rules->begin(), rules->end());
    return true;
}

// One option and its value; false with `error` set when either is wrong.
bool takeOption(std::string_view name, const std::string& value, Options& options, std::string& error) {
    if (name == "--tcp") {
        const auto port = wholeNumber(value, 65535);
        options.mode = Mode::Tcp;
        options.tcpPort = static_cast<int>(port.value_or(0));
        if (!port) error = "bad port " + value;
    } else if (name == "--decode") {
        options.mode = Mode::Decode;
        options.decodeFile = value;
    } else if (name == "--out") {
        options.outDirectory = value;
    } else if (name == "--baud") {
        const auto baud = wholeNumber(value, 4000000);
        options.baudRate = static_cast<int>(baud.value_or(0));
        if (!baud) error = "bad baud rate " + value;
    } else if (name == "--flow") {
        options.xonXoff = value == "xonxoff";
        if (value != "xonxoff" && value != "none") error = "flow control is none or xonxoff";
    } else if (name == "--buffer") {
        const auto bytes = wholeNumber(value, 1 << 24);
        options.bufferBytes = static_cast<std::size_t>(bytes.value_or(1));
        if (!bytes || *bytes < 16) error = "bad buffer size " + value;
    } else if (name == "--print-ms") {
        const auto ms = wholeNumber(value, 600000);
        options.printTime = std::chrono::milliseconds(ms.value_or(0));
        if (!ms) error = "bad print time " + value;
    } else if (name == "--memory") {
        const auto kilobytes = wholeNumber(value, 1 << 24);
        options.memoryKb = static_cast<long>(kilobytes.value_or(0));
        if (!kilobytes) error = "bad memory size " + value;
    } else if (name == "--fault") {
        const auto rule = parseFaultRule(value);
        if (rule) options.faults.push_back(*rule);
        if (!rule) error = "bad fault " + value;
    } else if (name == "--script") {
        return readScript(value, options, error);
    } else {
        error = "unknown option " + std::string(name);
    }
    return error.empty();
}

}  // namespace

std::optional<Options> parseOptions(int argc, char** argv, std::string& error) {
    Options options;
    bool modeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--pty") {
            options.mode = Mode::Pty;
            modeGiven = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + std::string(name);
            return std::nullopt;
        }
        modeGiven = modeGiven || name == "--tcp" || name == "--decode";
        if (!takeOption(name, argv[++i], options, error)) return std::nullopt;
    }
    if (!modeGiven) {
        error = "give --pty, --tcp PORT or --decode FILE";
        return std::nullopt;
    }
    return options;
}

}  // namespace zplsim
