// SPDX-License-Identifier: MIT
// The serial settings reach the terminal; a pty, which keeps no parity, is used all the same.
#include "bcpctrl/printer_link.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace bcpctrl {
namespace {

struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        path = ::ptsname(master);
        observer = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        ::close(observer);
        ::close(master);
    }
    termios settings() const {
        termios now{};
        ::tcgetattr(observer, &now);
        return now;
    }
    int master = -1;
    int observer = -1;  // the test's own view of the terminal's settings
    std::string path;
};

TEST(SerialLink, TheSettingAndFlowControlReachTheTerminalInRawMode) {
    struct Row {
        int row;
        SerialPort setting;
        FlowControl flow;
        speed_t speed;
        bool twoStopBits;
        tcflag_t inputFlow;
        bool rtsCts;
    };
    const std::vector<Row> rows{
        {1, {"COM1", 9600, 'E', 8, 1}, FlowControl::None, B9600, false, 0, false},
        {2, {"COM1", 19200, 'N', 7, 2}, FlowControl::XonXoff, B19200, true, IXON | IXOFF, false},
        {3, {"COM1", 115200, 'O', 8, 1}, FlowControl::RtsCts, B115200, false, 0, true},
    };
    Pty pty;
    ASSERT_GE(pty.observer, 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        auto link = PrinterLink::openSerial(pty.path, row.setting, row.flow);
        ASSERT_TRUE(link) << "settings a pty ignores do not stop the port from opening";
        const termios applied = pty.settings();
        EXPECT_EQ(::cfgetospeed(&applied), row.speed);
        EXPECT_EQ((applied.c_cflag & CSTOPB) != 0, row.twoStopBits);
        EXPECT_EQ(applied.c_iflag & (IXON | IXOFF | IXANY), row.inputFlow);
        EXPECT_EQ((applied.c_cflag & CRTSCTS) != 0, row.rtsCts);
        EXPECT_EQ(applied.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(applied.c_oflag & OPOST, 0u);
        EXPECT_FALSE(PrinterLink::openSerial(pty.path, row.setting, row.flow)) << "one job at a time";
    }
}

}  // namespace
}  // namespace bcpctrl
