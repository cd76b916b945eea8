// SPDX-License-Identifier: MIT
#include "hostpaths/caller_paths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using hostpaths::DriveTable;

struct MappingRow {
    int row;
    std::optional<std::string> drivesVariable;  // BCPCTRL_DRIVES; nullopt when unset
    std::string callerPath;
    std::optional<std::string> expected;
};

TEST(CallerPaths, OneMappingForDataFilesFormatsAndFolders) {
    const std::vector<MappingRow> rows{
        {1, std::nullopt, "C:\\BcpCtrl", "/opt/BcpCtrl"},
        {2, std::nullopt, "d:\\a\\b\\", "/opt/a/b/"},
        {3, std::nullopt, "C:/x/y", "/opt/x/y"},
        {4, std::nullopt, "C:", "/opt"},
        {5, std::nullopt, "C:\\DATA\\NYUKA.DAT", "/opt/DATA/NYUKA.DAT"},
        {6, std::nullopt, "DATA\\NYUKA.DAT", "DATA/NYUKA.DAT"},
        {7, std::nullopt, "\\tmp\\a b\\x.DAT", "/tmp/a b/x.DAT"},
        {8, std::nullopt, "..\\up", "../up"},
        {9, std::nullopt, "/srv/bcp", "/srv/bcp"},
        {10, std::nullopt, "", std::nullopt},
        {11, std::nullopt, "C:name", std::nullopt},
        {12, std::nullopt, std::string("a\0b", 3), std::nullopt},
        {13, std::nullopt, "tab\there", std::nullopt},
        {14, std::nullopt, "\\\\fs\\labels\\L1", std::nullopt},
        {15, "", "C:\\x", "/opt/x"},
        {16, "C=/srv/c;D=/mnt/labels/", "C:\\DATA\\N.DAT", "/srv/c/DATA/N.DAT"},
        {17, "C=/srv/c;D=/mnt/labels/", "d:\\x", "/mnt/labels/x"},
        {18, "C=/srv/c;D=/mnt/labels/", "E:\\x", std::nullopt},
        {19, "C=/srv/c;D=/mnt/labels/", "DATA\\N.DAT", "DATA/N.DAT"},
        {20, " c = /srv/c ; ;", "C:\\x", "/srv/c/x"},
        {21, "C=/", "C:\\x", "/x"},
        {22, "\\\\fs\\Labels=/mnt/share", "\\\\FS\\labels\\a\\b.DAT", "/mnt/share/a/b.DAT"},
        {23, "//fs/labels=/mnt/share", "\\\\fs\\labels", "/mnt/share"},
        {24, "\\\\fs\\Labels=/mnt/share", "\\\\fs\\other\\x", std::nullopt},
        {25, "\\\\fs\\Labels=/mnt/share", "\\\\fs", std::nullopt},
        {26, "\\\\fs\\Labels=/mnt/share", "C:\\x", std::nullopt},
        {27, "C=relative", "C:\\x", std::nullopt},
        {28, "C=relative", "DATA\\x", "DATA/x"},
        {29, "CC=/x", "C:\\x", std::nullopt},
        {30, "C", "C:\\x", std::nullopt},
        {31, "\\\\fs=/mnt", "C:\\x", std::nullopt},
    };
    for (const MappingRow& row : rows) {
        SCOPED_TRACE(row.row);
        const auto mapped = hostpaths::mapCallerPath(row.callerPath, DriveTable::fromVariable(row.drivesVariable));
        ASSERT_EQ(mapped.has_value(), row.expected.has_value());
        if (mapped) {
            EXPECT_EQ(mapped->string(), *row.expected);
        }
    }
}

TEST(CallerPaths, WellFormedNamesDoNotDependOnTheTable) {
    EXPECT_TRUE(hostpaths::isWellFormed("\\\\fs\\share\\x"));
    EXPECT_TRUE(hostpaths::isWellFormed("Q:\\x"));
    EXPECT_FALSE(hostpaths::isWellFormed("C:name"));
    EXPECT_FALSE(hostpaths::isWellFormed("\\\\fs"));
    EXPECT_FALSE(hostpaths::isWellFormed(""));
}

}  // namespace
