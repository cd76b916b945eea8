// SPDX-License-Identifier: MIT
// A built program run on a system directory of its own: the sample formats, a printer
// list written by the test, a call log and the virtual printer's output.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "process.h"

namespace testing_support {

class ProgramRun : public ::testing::Test {
protected:
    ProgramRun();
    ~ProgramRun() override;

    // Writes printers.json; `printerEntry` and `serialEntry` are JSON objects merged over
    // a virtual printer that writes output/labels.jsonl.
    void writePrinterList(const std::string& printerEntry = "{}", const std::string& serialEntry = "{}");
    // Copies a sample data file, or writes the given bytes, into the job folder; returns the
    // data-file argument as a caller writes it (relative, with "\").
    std::string sampleData(const std::string& name);
    std::string writeData(const std::string& name, const std::string& bytes);

    // `adjust` changes the request last: environment, closed descriptors, limits.
    ProcessResult run(const std::string& program, const std::vector<std::string>& arguments,
                      std::vector<Interaction> interactions = {}, bool windowed = false,
                      const std::function<void(ProcessRequest&)>& adjust = {});

    std::vector<nlohmann::json> trace() const;
    std::vector<nlohmann::json> labels() const;
    std::vector<std::string> traceOps() const;
    static std::vector<std::string> boxes(const ProcessResult& result);

    std::filesystem::path folder;
    std::filesystem::path systemDir;
    // Set (or, as nullopt, unset) for the program on top of what every run gets.
    std::map<std::string, std::optional<std::string>> environment;
};

std::string programPath(const std::string& name);
std::filesystem::path samplesDir();

}  // namespace testing_support
