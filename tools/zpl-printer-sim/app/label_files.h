// SPDX-License-Identifier: MIT
// What the emulator writes for the people and tests that read it: every received label
// as label-NNNN.json, the whole label as it prints as label-NNNN.pbm and its graphics as
// label-NNNN-gK.pbm, every stored graphic as stored-<device>_<name>.pbm, and one line in
// printed.log for every label printed.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

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
std::string labelPictureFile(int formatNumber);  // "label-0001.pbm"
// The record written as label-NNNN.json (one field, command or error a line); graphics are
// named by the file they went to.
std::string labelRecord(const Label& label);
// A JSON string; bytes that are not UTF-8 (Shift JIS in a QR code) become U+FFFD.
std::string jsonString(std::string_view text);

}  // namespace zplsim
