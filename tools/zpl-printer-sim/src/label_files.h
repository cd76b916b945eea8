// SPDX-License-Identifier: MIT
// What the emulator writes for the people and tests that read it: every received label
// as label-NNNN.json with its graphics as label-NNNN-gK.pbm, every stored graphic as
// stored-<device>_<name>.pbm, and one line in printed.log for every label printed.
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "zplsim/zpl_decoder.h"

namespace zplsim {

class LabelFiles {
public:
    explicit LabelFiles(std::filesystem::path directory);

    void received(const Label& label) const;
    void printed(const Label& label, int copy) const;
    void stored(const std::string& name, const Bitmap& bitmap) const;

private:
    std::filesystem::path directory_;
};

std::string labelFileStem(int formatNumber);  // "label-0001"
// The record written as label-NNNN.json; graphics are named by the file they went to.
nlohmann::ordered_json labelRecord(const Label& label);

}  // namespace zplsim
