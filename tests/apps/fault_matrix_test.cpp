// SPDX-License-Identifier: MIT
// Every control operation the issue loop calls, failing with every result code the
// programs know, one they do not know, an exception and running out of memory: the
// operator's message, the labels that were printed, the closed port and the exit status.
#include <gtest/gtest.h>

#include <optional>

#include "goods/goods_edition.h"
#include "job_fixture.h"
#include "shell/program.h"

namespace {

using frame::DispId;
using testing_support::Answer;

enum class Operation { LoadFormat, OpenPort, SetField, Issue, StatusEvent, ClosePort };

struct Fault {
    std::string name;
    std::optional<frame::ResultCode> code;  // nullopt: the operation throws
    std::string message;                    // before "発行を中止します。"; empty: the job goes on
    bool outOfMemory = false;               // what it throws is std::bad_alloc
};

std::vector<Fault> faults() {
    std::vector<Fault> list{
        {"1000", frame::resultCodeFor(1000), "ポートのオープンに失敗しました。"},
        {"1001", frame::resultCodeFor(1001), "ポートがオープンされていません。"},
        {"1002", frame::resultCodeFor(1002), "ポートが既にオープンされています。"},
        {"1003", frame::resultCodeFor(1003), "ポートへの書き込みに失敗しました。"},
        {"1101", frame::resultCodeFor(1101), "通信エラーが発生しました。"},
        {"1102", frame::kPrinterStatusReport, ""},  // a printer report with an empty text
        {"1200", frame::resultCodeFor(1200), "プリンタリストファイルの読み込みに失敗しました。"},
        {"1201", frame::resultCodeFor(1201), "プリンタ情報ファイルの読み込みに失敗しました。"},
        {"1300", frame::resultCodeFor(1300), "ラベルフォーマットファイルの読み込みに失敗しました。"},
        {"1301", frame::resultCodeFor(1301),
         "UsePrinterプロパティで指定されたプリンタのラベルフォーマットファイルではありません。"},
        {"1302", frame::resultCodeFor(1302), "印刷レイアウトに誤りがあります。"},
        {"1303", frame::resultCodeFor(1303), "指定されたフィールドが存在しません。"},
        {"1304", frame::resultCodeFor(1304), "ラベルフォーマット情報が取得されていません。"},
        {"2000", frame::resultCodeFor(2000), "サポートされていません。"},
        {"2100", frame::resultCodeFor(2100), "第一引数に不正な値が指定されています。"},
        {"2101", frame::resultCodeFor(2101), "第二引数に不正な値が指定されています。"},
        {"3004", frame::resultCodeFor(3004), "PortSettingプロパティの値が不正です。"},
        {"3011", frame::resultCodeFor(3011), "SystemPathプロパティの値が不正です。"},
        {"3012", frame::resultCodeFor(3012), "UsePrinterプロパティの値が不正です。"},
        {"unknown", frame::resultCodeFor(3000), "未定義エラーが発生しました。 (Result = 800A0BB8)"},
        // A thrown call leaves LastResult as the call before it did: 0.
        {"thrown", std::nullopt, "未定義エラーが発生しました。 (Result = 0)"},
        // Running out of memory is no answer of the control's, whatever LastResult holds.
        {"out of memory", std::nullopt, "発行処理中に予期しないエラーが発生しました。", true},
    };
    return list;
}

// Three receiving-lot records; a label is known by the first text set for it.
const std::vector<std::string> kAllLabels{"a2", "b2", "c2"};

struct Expected {
    std::vector<std::string> labels;
    std::vector<std::string> boxes;
    int exitStatus;
};

// A failure stops the job where it falls: nothing is printed before the port is open, the
// label whose Issue fails is not printed, and an event after label 2 stops after it. A
// printer report goes on: only the label whose Issue answered false is missing. An event
// whose delivery throws is lost, and the job goes on. A failing ClosePort comes after every
// label was issued: the job still fails with its message; a thrown one is ignored. SetField's
// answers are not looked at. Running out of memory stops the job wherever it falls.
Expected expectedFor(Operation operation, const Fault& fault) {
    const bool thrownAndIgnored = !fault.code && !fault.outOfMemory &&
                                  (operation == Operation::StatusEvent || operation == Operation::ClosePort);
    const bool goesOn = operation == Operation::SetField ? !fault.outOfMemory : fault.message.empty() || thrownAndIgnored;
    if (goesOn) {
        if (operation == Operation::Issue) return {{"a2", "c2"}, {}, shell::kExitFinished};
        return {kAllLabels, {}, shell::kExitFinished};
    }
    std::vector<std::string> labels;
    if (operation == Operation::Issue) labels = {"a2"};
    if (operation == Operation::StatusEvent) labels = {"a2", "b2"};
    if (operation == Operation::ClosePort) labels = kAllLabels;  // issued, but what was held may not have left
    return {labels, {fault.message + "発行を中止します。"}, shell::kExitFailed};
}

void inject(testing_support::FakeControl& control, Operation operation, const Fault& fault) {
    const Answer answer = fault.code ? Answer{frame::kVbFalse, *fault.code, {}, false}
                                     : Answer{frame::kVbTrue, 0, {}, true, fault.outOfMemory};
    switch (operation) {
        case Operation::LoadFormat: control.script(DispId::LoadFormat, answer); break;
        case Operation::OpenPort: control.script(DispId::OpenPort, answer); break;
        case Operation::SetField: control.script(DispId::SetField, answer); break;
        case Operation::ClosePort: control.script(DispId::ClosePort, answer); break;
        case Operation::Issue:
            control.script(DispId::Issue, Answer{});
            control.script(DispId::Issue, answer);
            break;
        case Operation::StatusEvent:
            control.afterIssue = [&control, fault](int n) {
                if (n != 2) return;
                if (fault.code) {
                    control.queueStatus("", *fault.code);
                } else {
                    control.queueFailingDelivery(fault.outOfMemory);
                }
            };
            break;
    }
}

class FaultMatrix : public testing_support::JobFixture {
protected:
    FaultMatrix() : JobFixture(goods::kGoodsEdition) {}
};

TEST_F(FaultMatrix, EveryOperationTimesEveryResultCode) {
    const std::string line =
        "/LABEL3 /" +
        writeData("NYUKA_LOT.DAT", testing_support::taggedRecord(9, "a") + testing_support::taggedRecord(9, "b") +
                                       testing_support::taggedRecord(9, "c")) +
        " /COM /";
    const std::vector<std::pair<Operation, const char*>> operations{{Operation::LoadFormat, "LoadFormat"},
                                                                    {Operation::OpenPort, "OpenPort"},
                                                                    {Operation::SetField, "SetField"},
                                                                    {Operation::Issue, "Issue"},
                                                                    {Operation::StatusEvent, "status event"},
                                                                    {Operation::ClosePort, "ClosePort"}};
    for (const auto& [operation, operationName] : operations) {
        for (const Fault& fault : faults()) {
            SCOPED_TRACE(std::string(operationName) + " × " + fault.name);
            testing_support::Job job(goods::kGoodsEdition);
            inject(job.control, operation, fault);
            job.run(line);
            const Expected expected = expectedFor(operation, fault);
            std::vector<std::string> labels;
            for (const auto& texts : job.control.issuedLabels) labels.push_back(texts.at(0));
            EXPECT_EQ(labels, expected.labels);
            std::vector<std::string> boxes;
            for (const auto& box : job.window.boxes) boxes.push_back(box.text);
            EXPECT_EQ(boxes, expected.boxes);
            EXPECT_EQ(shell::exitStatusFor(job.form.outcome()), expected.exitStatus);
            EXPECT_EQ(job.control.callsOf(DispId::ClosePort).size(), 1u);
            EXPECT_EQ(job.control.calls.back().dispId, DispId::ClosePort);
            EXPECT_TRUE(job.window.unloaded);
        }
    }
}

}  // namespace
