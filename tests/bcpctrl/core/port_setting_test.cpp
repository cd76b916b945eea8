// SPDX-License-Identifier: MIT
#include "core/port_setting.h"

#include <gtest/gtest.h>

#include "frame/bcp_control.h"

namespace bcpctrl {
namespace {

struct SettingRow {
    int row;
    std::string setting;
    std::optional<PortAddress> expected;
};

TEST(ParsePortSetting, AcceptsDriverNamesAndStandardSerialSettingsOnly) {
    const std::vector<SettingRow> rows{
        {1, "DRV:TEC B-374", DriverPort{"TEC B-374"}},
        {2, " drv: Printer 2 ", DriverPort{"Printer 2"}},
        {3, "COM1:9600,E,8,1", SerialPort{"COM1", 9600, 'E', 8, 1}},
        {4, "com12:115200,n,7,2", SerialPort{"COM12", 115200, 'N', 7, 2}},
        {5, "COM256:1200,O,8,1", SerialPort{"COM256", 1200, 'O', 8, 1}},
        {6, "DRV:", std::nullopt},
        {7, "DRV:   ", std::nullopt},
        {8, "TEC B-374", std::nullopt},
        {9, "COM1:9601,E,8,1", std::nullopt},
        {10, "COM1:9600,X,8,1", std::nullopt},
        {11, "COM1:9600,E,6,1", std::nullopt},
        {12, "COM1:9600,E,8,3", std::nullopt},
        {13, "COM1:9600,E,8", std::nullopt},
        {14, "COM1:9600,E,8,1,1", std::nullopt},
        {15, "COM0:9600,E,8,1", std::nullopt},
        {16, "COM257:9600,E,8,1", std::nullopt},
        {17, "COM:9600,E,8,1", std::nullopt},
        {18, "COM01:9600,E,8,1", std::nullopt},
        {19, "COM1:9600,EE,8,1", std::nullopt},
        {20, "COM1: 9600,E,8,1", std::nullopt},
        {21, "LPT1:9600,E,8,1", std::nullopt},
        {22, "", std::nullopt},
    };
    for (const SettingRow& row : rows) {
        SCOPED_TRACE(row.row);
        EXPECT_EQ(parsePortSetting(row.setting), row.expected);
    }
}

TEST(ParsePortSettingFor, KindMustMatchThePortCode) {
    EXPECT_TRUE(parsePortSettingFor(frame::kPortCodeDriver, "DRV:P"));
    EXPECT_FALSE(parsePortSettingFor(frame::kPortCodeSerial, "DRV:P"));
    EXPECT_TRUE(parsePortSettingFor(frame::kPortCodeSerial, "COM2:9600,E,8,1"));
    EXPECT_FALSE(parsePortSettingFor(frame::kPortCodeDriver, "COM2:9600,E,8,1"));
    EXPECT_FALSE(parsePortSettingFor(frame::kPortCodeUnknown, "DRV:P"));
}

}  // namespace
}  // namespace bcpctrl
