// SPDX-License-Identifier: MIT
// Receiving docks that print through one CUPS server, for the tests and the benchmark of
// such a site: each station a goods program in console mode with a control folder, a data
// file and a call log of its own. Every label's CODE128 control number names its station
// and record ("ST3-0042"), so that what reaches the printer says whose it is.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "process.h"

namespace testing_support {

// The printer name the stations print on, and the queue it is on the server.
inline constexpr const char* kDockPrinter = "Dock Printer";
inline constexpr const char* kDockQueue = "Dock_Printer";

std::string controlNumber(int station, int record);

class ReceivingStation {
public:
    // Even stations list the queue with its server in their printer list; odd ones have no
    // list and find the queue by its name on CUPS_SERVER.
    ReceivingStation(const std::filesystem::path& root, int number, const std::string& server, int records,
                     const std::filesystem::path& samples, std::string program);

    void setEnvironment(const std::string& name, const std::string& value) { environment_[name] = value; }
    ProcessResult run(std::vector<Interaction> interactions = {}) const;

    int number() const { return number_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    int number_;
    std::filesystem::path folder_;
    std::string program_;
    std::map<std::string, std::optional<std::string>> environment_;
};

// Every station started at once, each with the interactions `interactions` makes for it;
// their results in station order.
std::vector<ProcessResult> runAtOnce(const std::vector<ReceivingStation>& stations,
                                     const std::function<std::vector<Interaction>()>& interactions);

}  // namespace testing_support
