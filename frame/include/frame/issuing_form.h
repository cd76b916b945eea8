// SPDX-License-Identifier: MIT
// The main window's code without the window: start-up parse, job driver, issue loop,
// result-code judgement and the two event handlers. One instance runs one job.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/bcp_control.h"
#include "frame/edition.h"
#include "frame/field_reader.h"
#include "frame/job_state.h"
#include "frame/window.h"
#include "hostpaths/caller_paths.h"

namespace frame {

// How the job ended, for the program's exit status.
enum class JobOutcome {
    NotRun,
    Finished,  // reached the end of the data file
    Stopped,   // the operator confirmed Stop
    Failed,    // a failure message ended the job
    Rejected,  // the command line was not a valid job
};

class IssuingForm {
public:
    // The form connects its status handler to the control; both must outlive it. The data
    // file's name is mapped through `drives`, the callers' drive table.
    IssuingForm(const Edition& edition, Window& window, BcpControl& bcpCtrl,
                hostpaths::DriveTable drives = hostpaths::DriveTable::standard());
    IssuingForm(const IssuingForm&) = delete;
    IssuingForm& operator=(const IssuingForm&) = delete;

    // Window load: fills the job state from the command line. False when the line is
    // rejected: its message has been shown and the window must not be shown.
    bool Form_Load(std::string_view commandLine);
    // Window activation: runs the whole job once, then hides and unloads the window.
    // Later activations (a window manager raises one after every message box) do nothing.
    void Form_Activate();

    bool IssueLabels();
    bool CheckResult();
    void BcpCtrl_OnStatus(const std::string& PrinterStatus, ResultCode Result);
    void cmdStop_Click();
    // A Stop that needs no confirmation (the process was asked to end): it takes effect
    // where a confirmed Stop would.
    void requestStop();

    const JobState& state() const { return state_; }
    JobState& state() { return state_; }
    JobOutcome outcome() const { return outcome_; }

private:
    bool endJob(JobOutcome outcome);
    bool closePort();
    void doEvents();
    void showStatus(const std::string& text);
    MessageAnswer showMessage(std::string text, MessageIcon icon, MessageButtons buttons);
    void showFailure(std::string text);
    const DataKind* recordKind() const;
    std::int16_t recordLength() const;
    int readRecord(std::vector<std::string>& record);
    void setFields(const DataKind* kind, std::vector<std::string>& record);
    bool takeStatusArrived();
    bool waitForConfirmations(std::int16_t portCode);

    const Edition& edition_;
    Window& window_;
    BcpControl& bcpCtrl_;
    hostpaths::DriveTable drives_;
    JobState state_;
    std::optional<FieldReader> dataFile_;
    JobOutcome outcome_ = JobOutcome::NotRun;
    bool activated_ = false;
};

}  // namespace frame
