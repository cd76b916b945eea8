// SPDX-License-Identifier: MIT
// bcpctrl-render as a format author runs it.
#include <sys/stat.h>

#include <fstream>

#include "program_test_support.h"

namespace {

class RenderCommand : public testing_support::ProgramRun {};

struct Row {
    int row;
    std::vector<std::string> arguments;  // after the format file
    int exitStatus;
    std::string error;           // the last line of standard error; empty: no error at all
    std::string fileStart;       // what the output file begins with, empty: no file
    bool lowMemory = false;      // run with 256 MiB of address space
};

TEST_F(RenderCommand, DrawsOneLabelOrSaysInOneLineWhyNot) {
    const std::string format = (systemDir / "formats" / "LABEL1.json").string();
    // 1e9 mm aborted the command with std::bad_alloc; the largest label the limits allow,
    // at 1200 dpi, takes about 600 MB.
    const std::string endless = (folder / "endless.json").string();
    std::ofstream(endless) << R"({"usePrinter": 1, "label": {"widthMm": 1e9, "heightMm": 1e9}, "fields": []})";
    const std::string largest = (folder / "largest.json").string();
    std::ofstream(largest) << R"({"usePrinter": 1, "label": {"widthMm": 254, "heightMm": 650}, "fields": []})";
    const std::vector<Row> rows{
        {1, {format, "--set", "11=4571123400153", "--set", "6=黒糖かりんとう", "-o", "out.png"}, 0, "", "\x89PNG"},
        {2, {format, "--dpi", "300", "--grid", "-o", "out.pdf"}, 0, "", "%PDF"},
        {3, {format, "--set", "11=ABC", "-o", "out.png"}, 1,
         "bcpctrl-render: error 1302: field 11 (EAN13): needs 12 or 13 digits", ""},
        {4, {format, "--set", "999=x", "-o", "out.png"}, 1, "bcpctrl-render: error 1303: the format has no field 999", ""},
        {5, {"NOSUCH.json", "-o", "out.png"}, 1,
         "bcpctrl-render: error 1300: cannot read NOSUCH.json: missing, not JSON, or a key missing, wrongly typed or "
         "unknown in value",
         ""},
        {6, {format, "-o", "no/such/folder/out.png"}, 1, "bcpctrl-render: error 1003: cannot write no/such/folder/out.png",
         ""},
        {7, {format}, 2, "bcpctrl-render: FORMAT and -o OUT are required", ""},
        {8, {format, "-o", "out.gif"}, 2, "bcpctrl-render: OUT must end in .png or .pdf", ""},
        {9, {format, "--dpi", "50", "-o", "out.png"}, 2, "bcpctrl-render: --dpi takes a number from 100 to 1200", ""},
        {10, {format, "--set", "11", "-o", "out.png"}, 2, "bcpctrl-render: --set takes N=TEXT with N from 1 to 32767", ""},
        // Refused at once, as the printers refuse such outputs, instead of waiting for a reader.
        {11, {format, "-o", "fifo.png"}, 1,
         "bcpctrl-render: error 1000: cannot open fifo.png: not a regular file or a character device (a FIFO, socket, "
         "directory or block device)",
         ""},
        {12, {format, "-o", "folder.pdf"}, 1,
         "bcpctrl-render: error 1000: cannot open folder.pdf: not a regular file or a character device (a FIFO, socket, "
         "directory or block device)",
         ""},
        {13, {endless, "-o", "out.png"}, 1,
         "bcpctrl-render: error 1302: layout error in " + endless +
             ": a label without area or larger than 254 x 650 mm, a box or static element not inside the label, or a "
             "field number outside 1..32767 or used twice",
         ""},
#if !defined(__SANITIZE_ADDRESS__)  // which reserves more address space than the limit
        {14, {largest, "--dpi", "1200", "-o", "out.png"}, 1, "bcpctrl-render: out of memory: the label was not drawn", "", true},
#endif
    };
    ASSERT_EQ(::mkfifo((folder / "fifo.png").c_str(), 0600), 0);
    std::filesystem::create_directory(folder / "folder.pdf");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        std::filesystem::remove(folder / "out.png");
        std::filesystem::remove(folder / "out.pdf");
        const auto result = run("bcpctrl-render", row.arguments, {}, false, [&](testing_support::ProcessRequest& request) {
            if (row.lowMemory) request.addressSpaceLimitBytes = 256u * 1024 * 1024;
        });
        EXPECT_EQ(result.exitStatus, row.exitStatus);
        if (row.error.empty()) {
            for (const auto& line : result.errorLines) EXPECT_EQ(line.find("error"), std::string::npos) << line;
        } else {
            EXPECT_EQ(result.errorLines.empty() ? "" : result.errorLines.back(), row.error);
        }
        const auto output = folder / (row.arguments.back() == "out.pdf" ? "out.pdf" : "out.png");
        std::string start(4, '\0');
        std::ifstream(output, std::ios::binary).read(start.data(), 4);
        EXPECT_EQ(std::filesystem::exists(output) ? start : "", row.fileStart);
    }
}

}  // namespace
