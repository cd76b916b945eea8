// SPDX-License-Identifier: MIT
// The goods program printing on a queue of the private cupsd in console mode, as a calling
// application runs it: faults in the status line, cupsd going away mid-job.
#include <signal.h>

#include <fstream>
#include <sstream>

#include "cups_test_support.h"
#include "device_output.h"
#include "program_test_support.h"

namespace {

using testing_support::Interaction;
using testing_support::RunningProcess;
using namespace cups_testing;

constexpr const char* kProgram = "mokuren-goods";
constexpr int kFinished = 0;
constexpr int kFailed = 1;
constexpr int kCopiesOfTheSample = 20;  // 240 records: time enough to act mid-job, even on a busy machine

// cupsd prints again from its start the job it was printing when the queue stopped, so a few
// labels may come out twice, one after the other; any other extra label is a fault of ours.
bool onlyARestartedJobRepeats(const std::vector<testing_support::DecodedLabel>& labels, std::size_t extra) {
    if (extra == 0) return true;
    for (std::size_t start = 0; start + 2 * extra <= labels.size(); ++start) {
        bool repeated = true;
        for (std::size_t k = 0; k < extra && repeated; ++k) {
            repeated = testing_support::samePicture(labels[start + k].picture, labels[start + extra + k].picture);
        }
        if (repeated) return true;
    }
    return false;
}

class CupsProgram : public testing_support::ProgramRun {
protected:
    void SetUp() override {
        if (!sharedCupsd().unavailable().empty()) GTEST_SKIP() << sharedCupsd().unavailable();
        environment["CUPS_SERVER"] = sharedCupsd().socketPath();
        device().clear();
    }
    static testing_support::DeviceTap& device() { return sharedCupsd().tap(kZebraQueue); }

    // The sample receiving data several times over; the number of records it holds.
    int longData() {
        std::ifstream sample(testing_support::samplesDir() / "DATA" / "NYUKA.DAT", std::ios::binary);
        const std::string once{std::istreambuf_iterator<char>(sample), {}};
        std::string data;
        for (int copy = 0; copy < kCopiesOfTheSample; ++copy) data += once;
        writeData("NYUKA.DAT", data);
        return 12 * kCopiesOfTheSample;
    }
    // The printer name is not in the list: the program finds the CUPS queue "Label_Zebra".
    testing_support::ProcessResult runOnZebra(std::vector<Interaction> interactions) {
        return run(kProgram, {"/LABEL1 /DATA\\NYUKA.DAT /DRV /DRV:Label Zebra"}, std::move(interactions));
    }
};

TEST_F(CupsProgram, AStoppedQueueShowsInTheStatusLineAndTheJobCompletesWhenResumed) {
    const int records = longData();
    const std::string fault = "status: プリンタに異常が発生しました。 (18)\\r\\nプリンタのエラーを解除してください。";
    const auto result = runOnZebra({
        Interaction{"status: 2レコード目", [](RunningProcess& p) { p.signal(SIGINT); }},
        Interaction{"icon=question",
                    [](RunningProcess& p) {
                        EXPECT_TRUE(sharedCupsd().pause(kZebraQueue));
                        p.write("n\n");
                    }},
        Interaction{fault, [](RunningProcess&) { EXPECT_TRUE(sharedCupsd().resume(kZebraQueue)); }},
    });
    sharedCupsd().resume(kZebraQueue);
    EXPECT_EQ(result.exitStatus, kFinished);
    EXPECT_NE(std::find(result.errorLines.begin(), result.errorLines.end(), fault), result.errorLines.end());
    device().waitFor([&](const std::string& bytes) {
        return testing_support::decodeZplLabels(bytes).size() >= static_cast<std::size_t>(records);
    });
    const auto labels = testing_support::decodeZplLabels(device().bytes());
    const auto expected = static_cast<std::size_t>(records);
    ASSERT_GE(labels.size(), expected) << "no label may be lost";
    EXPECT_TRUE(onlyARestartedJobRepeats(labels, labels.size() - expected))
        << labels.size() - expected << " labels too many, and not the repeat of one job";
    const auto& first = labels.front().picture;
    EXPECT_EQ(first.heightDots, 559) << "70 mm at 203 dpi";
    EXPECT_EQ(first.strideBytes, 100u) << "100 mm at 203 dpi is 799 dots";
}

TEST_F(CupsProgram, CupsdStoppedMidJobStopsTheJobWithTheCommunicationMessage) {
    longData();
    const auto result = runOnZebra({
        Interaction{"status: 2レコード目", [](RunningProcess& p) { p.signal(SIGINT); }},
        Interaction{"icon=question",
                    [](RunningProcess& p) {
                        sharedCupsd().stop();
                        p.write("n\n");
                    }},
    });
    const bool restarted = sharedCupsd().start();
    EXPECT_EQ(result.exitStatus, kFailed);
    EXPECT_EQ(boxes(result).back(),
              "box: title=メッセージ icon=exclamation buttons=OK text=通信エラーが発生しました。発行を中止します。");
    EXPECT_TRUE(restarted) << sharedCupsd().unavailable();
}

}  // namespace
