// SPDX-License-Identifier: MIT
#include "core/system_folder.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace bcpctrl {
namespace {

using testing::fakeEnvironment;
using testing::TempDir;

TEST(ResolveSystemDirectory, EnvironmentVariableWinsWhenNotEmpty) {
    const auto chosen = resolveSystemDirectory("C:\\BcpCtrl", fakeEnvironment({{"BCPCTRL_SYSTEM_DIR", "/srv/x"}}));
    ASSERT_TRUE(chosen.ok());
    EXPECT_EQ(chosen.value(), "/srv/x");

    const auto mapped = resolveSystemDirectory("C:\\BcpCtrl", fakeEnvironment({{"BCPCTRL_SYSTEM_DIR", ""}}));
    ASSERT_TRUE(mapped.ok());
    EXPECT_EQ(mapped.value(), "/opt/BcpCtrl");
}

TEST(ResolveSystemDirectory, EmptyOrNonDirectoryPathIsUnusable) {
    const TempDir dir;
    const auto file = dir.write("plain-file", "x");
    EXPECT_EQ(resolveSystemDirectory("", fakeEnvironment({})).error(), ErrorNumber::UnusableSystemPath);
    EXPECT_EQ(resolveSystemDirectory(file.string(), fakeEnvironment({})).error(), ErrorNumber::UnusableSystemPath);
    EXPECT_TRUE(resolveSystemDirectory((dir.path() / "not-yet").string(), fakeEnvironment({})).ok());
}

struct FormatNameRow {
    int row;
    std::string name;
    std::optional<std::string> file;
    ErrorNumber errorWithoutFile = ErrorNumber::FormatUnreadable;
};

TEST(ResolveFormatFile, BareNamesLiveInFormatsAndGetJsonExtension) {
    const Outcome<std::filesystem::path> system(std::filesystem::path("/sys"));
    const std::vector<FormatNameRow> rows{
        {1, "LABEL1", "/sys/formats/LABEL1.json"},
        {2, "LABEL1.json", "/sys/formats/LABEL1.json"},
        {3, "LABEL1.v2", "/sys/formats/LABEL1.v2"},
        {4, "C:\\labels\\L2", "/opt/labels/L2.json"},
        {5, "sub\\L3", "sub/L3.json"},
        {6, "/abs/L4.json", "/abs/L4.json"},
        {7, "", std::nullopt},
        {8, "dir\\", std::nullopt},
    };
    for (const FormatNameRow& row : rows) {
        SCOPED_TRACE(row.row);
        const auto file = resolveFormatFile(row.name, system, hostpaths::DriveTable::standard());
        ASSERT_EQ(file.ok(), row.file.has_value());
        if (file.ok()) {
            EXPECT_EQ(file.value().string(), *row.file);
        } else {
            EXPECT_EQ(file.error(), row.errorWithoutFile);
        }
    }
}

TEST(ResolveFormatFile, OnlyBareNamesNeedTheSystemDirectory) {
    const Outcome<std::filesystem::path> unusable(ErrorNumber::UnusableSystemPath);
    const auto standard = hostpaths::DriveTable::standard();
    EXPECT_EQ(resolveFormatFile("LABEL1", unusable, standard).error(), ErrorNumber::UnusableSystemPath);
    EXPECT_EQ(resolveFormatFile("dir\\LABEL1", unusable, standard).value(), "dir/LABEL1.json");
}

}  // namespace
}  // namespace bcpctrl
