// SPDX-License-Identifier: MIT
#include "frame/field_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

using namespace std::string_literals;

namespace {

namespace fs = std::filesystem;

class FieldReaderTest : public ::testing::Test {
protected:
    ~FieldReaderTest() override { fs::remove(path_); }

    frame::FieldReader open(const std::string& bytes) {
        std::ofstream(path_, std::ios::binary) << bytes;
        auto reader = frame::FieldReader::open(path_.string());
        EXPECT_TRUE(reader.has_value());
        return std::move(*reader);
    }

    // Every field up to the end test, as the issue loop would see them one by one.
    std::vector<std::string> allFields(const std::string& bytes) {
        auto reader = open(bytes);
        std::vector<std::string> fields;
        while (!reader.atEnd()) {
            std::string text;
            EXPECT_EQ(reader.readField(text), 0) << "field " << fields.size() + 1;
            fields.push_back(text);
        }
        return fields;
    }

    fs::path path_ = fs::temp_directory_path() / ("reader-" + std::to_string(::getpid()) + ".DAT");
};

struct FieldRow {
    int row;
    std::string bytes;
    std::vector<std::string> fields;
};

TEST_F(FieldReaderTest, DelimitingRows) {
    const std::vector<FieldRow> rows{
        {1, "a,b,c\r\n", {"a", "b", "c"}},
        // CR, LF and CRLF are one break each, and a break separates like a comma.
        {2, "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {3, "a,b\n\nc", {"a", "b", "", "c"}},  // a blank line is one empty field
        {4, "a,,b", {"a", "", "b"}},
        {5, "a,b,\r\nc", {"a", "b", "", "c"}},  // a comma before a break leaves an empty field
        {6, "  \t a ,\tb  ", {"a", "b"}},  // leading blanks skipped, trailing spaces cut
        {7, "a\t,b", {"a\t", "b"}},        // only spaces are cut at the end
        {8, "\"x,y\",z", {"x,y", "z"}},    // commas inside quotes belong to the field
        {9, "\"line1\r\nline2\",z", {"line1\r\nline2", "z"}},
        {10, "\"  padded  \",z", {"  padded  ", "z"}},
        {11, "\"q\"  ,z", {"q", "z"}},     // blanks after the closing quote, then the comma
        {12, "\"q\"\r\nz", {"q", "z"}},
        {13, "\"q\"rest,z", {"q", "rest", "z"}},  // anything else starts the next field
        {14, "ab\"cd\",e", {"ab\"cd\"", "e"}},   // quotes inside an unquoted field stay
        {15, "\"\",x", {"", "x"}},
        {16, "a\0b,c"s, {"ab", "c"}},   // NUL bytes are dropped
        {17, "a,b\x1A,c,d", {"a", "b"}},  // Ctrl-Z ends the file
        {18, "a,b\r\n\r\n  \t\r\n", {"a", "b"}},  // trailing blank lines start no record
        {19, "", {}},
        {20, " \r\n\t", {}},
    };
    for (const FieldRow& row : rows) {
        SCOPED_TRACE(row.row);
        EXPECT_EQ(allFields(row.bytes), row.fields);
    }
}

TEST_F(FieldReaderTest, DecodesCp932WithTheNecAndIbmRows) {
    // 入荷 ～ ① 髙 ｱ and an ASCII backslash and tilde, which CP932 keeps as they are.
    const std::string bytes = "\x93\xfc\x89\xd7,\x81\x60,\x87\x40,\xfb\xfc,\xb1,\\~";
    EXPECT_EQ(allFields(bytes),
              (std::vector<std::string>{"入荷", "\xEF\xBD\x9E", "①", "髙", "ｱ", "\\~"}));
}

TEST_F(FieldReaderTest, TrailBytesThatLookLikeDelimitersStayInsideTheCharacter) {
    // 0x835C is ソ: its trail byte is the backslash; 0x8145 (・) no delimiter at all.
    EXPECT_EQ(allFields("\x83\x5c\x83\x5c,\x81\x45"), (std::vector<std::string>{"ソソ", "・"}));
}

TEST_F(FieldReaderTest, InvalidCp932FailsThatFieldOnlyAndNeverPassesGarbage) {
    auto reader = open("ok,\x81,\x80x,\xa0,\xfd\xfd,\x93\xfc\r\nnext");
    std::string text = "stale";
    EXPECT_EQ(reader.readField(text), 0);
    EXPECT_EQ(text, "ok");
    for (int i = 0; i < 4; ++i) {
        text = "stale";
        EXPECT_EQ(reader.readField(text), frame::kReadInvalidText) << i;
        EXPECT_EQ(text, "");
    }
    EXPECT_EQ(reader.readField(text), 0);
    EXPECT_EQ(text, "入");
    EXPECT_EQ(reader.readField(text), 0);
    EXPECT_EQ(text, "next");
}

TEST_F(FieldReaderTest, ReadingPastTheEndFailsWith62Repeatedly) {
    auto reader = open("a\r\n\r\n");
    std::string text;
    EXPECT_EQ(reader.readField(text), 0);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.readField(text), 0);  // the blank line is still an empty field
    EXPECT_EQ(text, "");
    EXPECT_EQ(reader.readField(text), frame::kReadPastEnd);
    EXPECT_EQ(reader.readField(text), frame::kReadPastEnd);
}

TEST_F(FieldReaderTest, FieldsLongerThanTheReadBufferArriveWhole) {
    const std::string big(200 * 1024, 'x');
    const std::string quoted = "\"" + std::string(150 * 1024, 'y') + ",\"";
    EXPECT_EQ(allFields(big + "," + quoted + "\r\n" + std::string(100 * 1024, ' ') + "z"),
              (std::vector<std::string>{big, std::string(150 * 1024, 'y') + ",", "z"}));
}

TEST_F(FieldReaderTest, AnEndTestOverALongBlankTailLeavesTheFieldsUntouched) {
    auto reader = open(std::string(100 * 1024, '\n') + "last");
    EXPECT_FALSE(reader.atEnd());
    std::string text;
    EXPECT_EQ(reader.readField(text), 0);
    EXPECT_EQ(text, "");  // the first line break ends an empty field: the end test consumed nothing
}

struct LostRestRow {
    int row;
    std::string bytes;
    std::vector<std::string> fieldsBefore;
    int failure;
};

// Failures after which nothing more of the file can be trusted: the number comes back for
// every later read, and the end test never takes them for the end of the file.
TEST_F(FieldReaderTest, AnUnclosedQuoteLosesTheRestOfTheFile) {
    const std::vector<LostRestRow> rows{
        {1, "a,\"open,to end\r\nb,c", {"a"}, frame::kReadUnclosedQuote},
        {2, "a,\"cut\x1A\",b", {"a"}, frame::kReadUnclosedQuote},  // Ctrl-Z ends the file inside the quote
        {3, "\"", {}, frame::kReadUnclosedQuote},
    };
    for (const LostRestRow& row : rows) {
        SCOPED_TRACE(row.row);
        auto reader = open(row.bytes);
        std::string text;
        for (const std::string& expected : row.fieldsBefore) {
            EXPECT_EQ(reader.readField(text), 0);
            EXPECT_EQ(text, expected);
        }
        EXPECT_FALSE(reader.atEnd());
        EXPECT_EQ(reader.readField(text), row.failure);
        EXPECT_EQ(text, "");
        EXPECT_EQ(reader.readField(text), row.failure);
        EXPECT_TRUE(reader.atEnd());  // reported once: a loop that goes on regardless still ends
    }
}

TEST(FieldReaderErrors, AReadErrorIsNeverTheEndOfTheFile) {
    // Offset 0 of the process's own memory is never mapped: the first read fails with EIO.
    auto reader = frame::FieldReader::open("/proc/self/mem");
    ASSERT_TRUE(reader.has_value());
    EXPECT_FALSE(reader->atEnd());
    std::string text;
    EXPECT_EQ(reader->readField(text), frame::kReadDeviceError);
    EXPECT_EQ(reader->readField(text), frame::kReadDeviceError);
}

TEST(FieldReaderOpen, OnlyRegularFilesOpenAndNothingWaits) {
    const fs::path fifo = fs::temp_directory_path() / ("reader-fifo-" + std::to_string(::getpid()));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<int, std::string>> rows{
        {1, "/nonexistent/NYUKA.DAT"},
        {2, fs::temp_directory_path().string()},
        {3, ""},
        {4, "/dev/zero"},  // endless
        {5, "/dev/null"},
        {6, fifo.string()},  // no writer: opening must not wait for one
    };
    for (const auto& [row, path] : rows) {
        SCOPED_TRACE(row);
        EXPECT_FALSE(frame::FieldReader::open(path).has_value());
    }
    fs::remove(fifo);
}

}  // namespace
