// SPDX-License-Identifier: MIT
// A control and a window that do nothing but keep the texts they are given alive, so that a
// benchmark of the issue loop measures the loop and the reader, not a printer or a screen.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "frame/bcp_control.h"
#include "frame/window.h"

namespace bench_support {

class NullControl : public frame::BcpControl {
public:
    void setPortSetting(const std::string&) override {}
    void setUsePrinter(std::int16_t) override {}
    frame::VbBool LoadFormat(std::string&, frame::ResultCode& r) override { return ok(r); }
    frame::VbBool OpenPort(std::int16_t&, frame::ResultCode& r) override { return ok(r); }
    frame::VbBool SetField(std::int16_t, std::string& text, frame::ResultCode& r) override {
        benchmark::DoNotOptimize(text.data());
        return ok(r);
    }
    frame::VbBool Issue(std::int16_t, std::int16_t, std::string&, frame::ResultCode& r) override { return ok(r); }
    frame::VbBool ClosePort(frame::ResultCode& r) override { return ok(r); }
    void connectOnStatus(OnStatusHandler) override {}
    void deliverPendingEvents() override {}

private:
    static frame::VbBool ok(frame::ResultCode& result) {
        result = 0;
        return frame::kVbTrue;
    }
};

class NullWindow : public frame::Window {
public:
    void setStatusText(const std::string& text) override { benchmark::DoNotOptimize(text.data()); }
    void yieldToEvents() override {}
    frame::MessageAnswer showMessage(const frame::MessageBox&) override { return frame::MessageAnswer::Ok; }
    void hide() override {}
    void unload() override {}
};

}  // namespace bench_support
