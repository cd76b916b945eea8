// SPDX-License-Identifier: MIT
// Files the designer's tests read: whole files as bytes, the sample formats and data; and
// a place of their own to save to that can be made read-only or full.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace designer_testing {

inline std::string fileText(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

inline std::filesystem::path sampleFormatPath(const std::string& name) {
    return std::filesystem::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "formats" / (name + ".json");
}

inline std::filesystem::path sampleDataPath(const std::string& name) {
    return std::filesystem::path(MOKUREN_SAMPLES_DIR) / "DATA" / name;
}

// A file system of its own, mounted by the test (root only) and unmounted when it ends.
class PrivateTmpfs {
public:
    explicit PrivateTmpfs(const std::filesystem::path& where, const std::string& size) : where_(where) {
        std::filesystem::create_directories(where_);
        mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~PrivateTmpfs() {
        if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    PrivateTmpfs(const PrivateTmpfs&) = delete;
    PrivateTmpfs& operator=(const PrivateTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly() const {
        return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::filesystem::path where_;
    bool mounted_ = false;
};

}  // namespace designer_testing
