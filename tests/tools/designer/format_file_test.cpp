// SPDX-License-Identifier: MIT
// Saving never loses a format: one backup, the file mode kept, links followed, and a save
// to a read-only or full place (a private tmpfs, a file-size limit) leaves the original
// whole. Autosave, recovery and changes by someone else.
#include "designer/format_file.h"

#include <csignal>
#include <set>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "designer_test_files.h"
#include "sample_jobs.h"
#include "temp_dir.h"

namespace designer {
namespace {

namespace fs = std::filesystem;

using designer_testing::fileText;
using designer_testing::PrivateTmpfs;

std::string sampleText() { return fileText(testing_support::sampleFormatFile(testing_support::sampleJobs()[0])); }

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

FormatFile opened(const fs::path& file) {
    auto result = FormatFile::open(file);
    if (auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
    return std::move(std::get<FormatFile>(result));
}

TEST(FormatFile, SavesKeepingOneBackupTheFileModeAndTheLinkAndWarnsWithLoadErrors) {
    const testing_support::TempDir dir;
    const fs::path file = dir.write("LABEL1.json", sampleText());
    ::chmod(file.c_str(), 0640);
    FormatFile format = opened(file);
    ASSERT_TRUE(format.save().saved);
    EXPECT_EQ(fileText(file), sampleText()) << "an untouched canonical file stays byte for byte";
    EXPECT_EQ(fileText(backupPathOf(file)), sampleText());

    std::vector<std::string> saved{sampleText()};
    for (const double x : {41.0, 42.0}) {
        ASSERT_TRUE(format.document().setFieldKey(0, "xMm", x));
        ASSERT_TRUE(format.document().isModified());
        const SaveResult result = format.save();
        ASSERT_TRUE(result.saved) << result.error;
        EXPECT_TRUE(result.warnings.empty());
        EXPECT_FALSE(format.document().isModified());
        EXPECT_EQ(fileText(backupPathOf(file)), saved.back());
        saved.push_back(fileText(file));
        EXPECT_EQ(saved.back(), format.document().text());
    }
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"LABEL1.json", "LABEL1.json~"}));
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);

    ASSERT_TRUE(format.document().setFieldKey(0, "xMm", 99.0));
    const SaveResult faulty = format.save();
    EXPECT_TRUE(faulty.saved) << "never refuses";
    ASSERT_EQ(faulty.warnings.size(), 1u);
    EXPECT_EQ(faulty.warnings[0].errorNumber(), 1302);
    EXPECT_EQ(faulty.warnings[0].fieldNumber, 1);

    fs::create_directories(dir.path() / "real");
    fs::rename(file, dir.path() / "real" / "F.json");
    fs::create_symlink("real/F.json", dir.path() / "link.json");
    FormatFile linked = opened(dir.path() / "link.json");
    ASSERT_TRUE(linked.document().setFieldKey(0, "xMm", 40.0));
    ASSERT_TRUE(linked.save().saved);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.json"));
    EXPECT_EQ(fileText(dir.path() / "real" / "F.json"), linked.document().text());
    EXPECT_EQ(namesIn(dir.path() / "real"), (std::set<std::string>{"F.json", "F.json~"}));
}

// The save fails with a reason, and nothing of the place changed.
void expectOriginalWhole(FormatFile& format, const fs::path& file, const std::string& reason) {
    const std::string before = fileText(file);
    const auto namesBefore = namesIn(file.parent_path());
    ASSERT_TRUE(format.document().setDocumentKey("comment", std::string(20000, 'x')));
    const SaveResult result = format.save();
    EXPECT_FALSE(result.saved);
    EXPECT_NE(result.error.find(reason), std::string::npos) << result.error;
    EXPECT_EQ(fileText(file), before);
    EXPECT_EQ(namesIn(file.parent_path()), namesBefore) << "no backup replaced, no temporary left";
    EXPECT_TRUE(format.document().isModified());
}

TEST(FormatFile, ASaveToAReadOnlyPlaceLeavesTheOriginalWhole) {
    const testing_support::TempDir dir;
    const PrivateTmpfs place(dir.path() / "ro", "1m");
    if (!place.mounted() && ::geteuid() == 0) GTEST_SKIP() << "root without mount: a read-only folder binds no one";
    const fs::path file = dir.write("ro/LABEL1.json", sampleText());
    FormatFile format = opened(file);
    if (place.mounted()) {
        ASSERT_TRUE(place.makeReadOnly());
        expectOriginalWhole(format, file, "Read-only file system");
    } else {
        ::chmod(file.parent_path().c_str(), 0555);
        expectOriginalWhole(format, file, "Permission denied");
        ::chmod(file.parent_path().c_str(), 0755);
    }
}

TEST(FormatFile, ASaveToAFullFileSystemLeavesTheOriginalAndItsBackupWhole) {
    const testing_support::TempDir dir;
    const PrivateTmpfs place(dir.path() / "full", "64k");
    if (!place.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here (not root)";
    const fs::path file = dir.write("full/LABEL1.json", sampleText());
    FormatFile format = opened(file);
    ASSERT_TRUE(format.document().setFieldKey(0, "xMm", 41.0));
    ASSERT_TRUE(format.save().saved);  // a backup to keep
    std::ofstream filler(file.parent_path() / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
    const std::string backup = fileText(backupPathOf(file));
    expectOriginalWhole(format, file, "No space left on device");
    EXPECT_EQ(fileText(backupPathOf(file)), backup);
}

TEST(FormatFile, ASaveBeyondTheFileSizeLimitLeavesTheOriginalWhole) {
    const testing_support::TempDir dir;
    const fs::path file = dir.write("LABEL1.json", sampleText());
    FormatFile format = opened(file);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = 16 * 1024;  // the sample fits, the text with 20000 more bytes does not
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    expectOriginalWhole(format, file, "File too large");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
}

TEST(FormatFile, UnsavedWorkIsRecoveredOnTheNextOpenAndAChangeOnDiskIsNoticed) {
    const testing_support::TempDir dir;
    const fs::path file = dir.write("LABEL1.json", sampleText());
    std::string edited;
    {
        FormatFile format = opened(file);
        EXPECT_FALSE(format.recoverableText());
        EXPECT_TRUE(format.autosave()) << "nothing to keep";
        EXPECT_FALSE(fs::exists(autosavePathOf(file)));
        ASSERT_TRUE(format.document().setFieldKey(0, "xMm", 41.0));
        ASSERT_TRUE(format.autosave());
        edited = format.document().text();
        EXPECT_EQ(fileText(autosavePathOf(file)), edited);
        EXPECT_EQ(fileText(file), sampleText());
    }  // the designer ends without saving
    FormatFile format = opened(file);
    ASSERT_TRUE(format.recoverableText());
    ASSERT_TRUE(format.recover());
    EXPECT_EQ(format.document().text(), edited);
    ASSERT_TRUE(format.document().undo());
    EXPECT_EQ(format.document().text(), sampleText());
    ASSERT_TRUE(format.document().redo());
    ASSERT_TRUE(format.save().saved);
    EXPECT_FALSE(fs::exists(autosavePathOf(file))) << "a save ends the side file";

    EXPECT_FALSE(format.changedOnDisk());
    ::utimensat(AT_FDCWD, file.c_str(), nullptr, 0);  // touched, same bytes
    EXPECT_FALSE(format.changedOnDisk());
    std::string other = edited;
    other.replace(other.find("\"usePrinter\": 1"), 15, "\"usePrinter\": 10");  // a size of its own
    dir.write("LABEL1.json", other);
    EXPECT_TRUE(format.changedOnDisk());
    ASSERT_TRUE(format.reload());
    EXPECT_EQ(format.document().text(), other);
    EXPECT_FALSE(format.document().isModified());
    EXPECT_FALSE(format.changedOnDisk());
    ASSERT_TRUE(format.document().undo()) << "a reload is a step of its own";
    EXPECT_EQ(format.document().text(), edited);
    fs::remove(file);
    EXPECT_TRUE(format.changedOnDisk());
}

}  // namespace
}  // namespace designer
