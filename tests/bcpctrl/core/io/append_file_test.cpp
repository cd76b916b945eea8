// SPDX-License-Identifier: MIT
#include "core/io/append_file.h"

#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "test_support.h"

namespace bcpctrl {
namespace {

using testing::TempDir;

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file-size limit makes the system take only part of a write, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    sighandler_t previousHandler_;
};

struct LineRow {
    int row;
    std::string before;                // the file when it is opened
    std::optional<rlim_t> sizeLimit;  // while the first line is written
    bool firstTaken;
    std::string after;  // after the first line, then "next" without a limit
};

TEST(AppendFile, ALineIsWrittenWholeOrNotAtAllAndNeverGluedToABrokenOne) {
    const std::string line(40, 'x');
    const std::vector<LineRow> rows{
        {1, "", std::nullopt, true, line + "\nnext\n"},
        {2, "a\n", 10, false, "a\nnext\n"},  // 8 of 41 bytes taken, then taken back
        // A writer killed in the middle of a line left it open: the next line starts anew.
        {3, R"({"label)", std::nullopt, true, "{\"label\n" + line + "\nnext\n"},
        {4, R"({"label)", 12, false, "{\"label\nnext\n"},
    };
    for (const LineRow& row : rows) {
        SCOPED_TRACE(row.row);
        const TempDir dir;
        const auto file = dir.write("out/labels.jsonl", row.before);
        auto output = io::AppendFile::open(file);
        ASSERT_TRUE(output.has_value());
        {
            std::optional<FileSizeLimit> limit;
            if (row.sizeLimit) limit.emplace(*row.sizeLimit);
            EXPECT_EQ(output->appendLine(line), row.firstTaken);
        }
        EXPECT_TRUE(output->appendLine("next"));
        EXPECT_EQ(contentOf(file), row.after);
    }
}

}  // namespace
}  // namespace bcpctrl
