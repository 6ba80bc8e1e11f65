#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include "Console.h"
#include "MediaProber.h"
#include "Options.h"
#include "Policy.h"
#include "StatusReporter.h"
#include "platform/DialogWindow.h"
#include "platform/fake/CallLog.h"
#include "platform/fake/FakeUi.h"

namespace dravolin::vm {

// Runs the dialog without a screen: initialises it, then delivers the poll timer's WM_TIMER
// through the dialog's own message routing at the timer's period (or the --interval given),
// reads commands from standard input between ticks, and reports every change of the rows.
// Commands, one a line, each answered "ACK <command>" or "NAK <command>: <why>":
//   tick D,E | untick D | target PATH | on-exists WORD | on-error WORD | fds | quit
//   prober NODE (another process asks NODE for media changes, see MediaProber.h) | prober off
//   image NODE PATH (the disc read into an image at PATH, its map at PATH.map, printed as
//   "MAP <line>" after "IMAGE NODE error E end R extent BYTES")
// End of input counts as quit. Everything here runs on the UI thread.
class HeadlessHost : public DialogHost {
  public:
    HeadlessHost(fake::FakeDialogWindow& window, fake::CallLog& log,
                 std::shared_ptr<Console> console, std::shared_ptr<Policy> policy, Options options);

    std::intptr_t RunModal(CCopyDlg& dialog) override;

    // Runs after each event the dialog handled (set-up, a command, a tick, teardown), as a
    // desktop's event loop gets control back: the program commits its store there.
    void AfterEachEvent(std::function<void()> settle) { settle_ = std::move(settle); }

  private:
    // False when the host asked to end.
    bool Execute(CCopyDlg& dialog, const std::string& line);
    // Sets `why` and stops at the first letter that names no drive.
    bool SetTicks(CCopyDlg& dialog, const std::string& letters, bool ticked, std::string& why);
    void DeliverTimer(CCopyDlg& dialog);
    std::chrono::milliseconds Interval(const CCopyDlg& dialog) const;
    void ReportOpenFiles();
    // Makes the disc in `node` a bag in `folder` from its image.
    void ReportBag(const std::string& node, const std::string& folder);
    void Reply(bool ok, const std::string& line, const std::string& why);
    void Settle();

    fake::FakeDialogWindow& window_;
    fake::CallLog& log_;
    std::shared_ptr<Console> console_;
    std::shared_ptr<Policy> policy_;
    Options options_;
    StatusReporter reporter_;
    std::string pending_;  // input read but not yet ended by a newline
    std::function<void()> settle_;
    std::optional<MediaProberProcess> prober_;
};

}  // namespace dravolin::vm
