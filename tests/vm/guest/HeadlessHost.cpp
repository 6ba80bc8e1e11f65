#include "HeadlessHost.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>
#include "app/CopyDlg.h"
#include "engine/DriveList.h"
#include "platform/linux/archive/BagWriter.h"
#include "platform/linux/archive/DriveImage.h"
#include "platform/linux/copy/PolicyPrompts.h"
#include "platform/linux/drives/DiscPresence.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/store/StoreIo.h"

namespace dravolin::vm {

namespace {

using Clock = std::chrono::steady_clock;

// Splits "word rest of line" at the first blank.
std::pair<std::string, std::string> SplitCommand(const std::string& line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) return {line, ""};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

enum class Input { Lines, Nothing, Closed };

// Waits up to `timeout` for standard input and appends what arrives to `pending`.
Input ReadInput(std::chrono::milliseconds timeout, std::string& pending) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(std::max<long long>(0, timeout.count())));
    if (ready <= 0) return Input::Nothing;
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0) return errno == EINTR || errno == EAGAIN ? Input::Nothing : Input::Closed;
    if (n == 0) return Input::Closed;
    pending.append(buffer, static_cast<std::size_t>(n));
    return Input::Lines;
}

}  // namespace

// What the process holds open, for finding who keeps a disc busy: "FD <n> <target>".
void HeadlessHost::ReportOpenFiles() {
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::filesystem::path target = std::filesystem::read_symlink(fd.path(), error);
        console_->Line("FD " + fd.path().filename().string() + " " +
                       (error ? std::string("?") : target.string()));
    }
}

HeadlessHost::HeadlessHost(fake::FakeDialogWindow& window, fake::CallLog& log,
                           std::shared_ptr<Console> console, std::shared_ptr<Policy> policy,
                           Options options)
    : window_(window),
      log_(log),
      console_(std::move(console)),
      policy_(std::move(policy)),
      options_(std::move(options)),
      reporter_(console_, window_.list) {}

std::chrono::milliseconds HeadlessHost::Interval(const CCopyDlg& dialog) const {
    if (options_.intervalMs != 0) return std::chrono::milliseconds(options_.intervalMs);
    const auto timer = window_.timers.find(dialog.m_nTimer);
    const unsigned period = timer != window_.timers.end() ? timer->second : 1500;
    return std::chrono::milliseconds(period);
}

void HeadlessHost::Settle() {
    if (settle_) settle_();
}

void HeadlessHost::Reply(bool ok, const std::string& line, const std::string& why) {
    console_->Line(ok ? "ACK " + line : "NAK " + line + ": " + why);
}

// UI thread only. A tick arrives only while the timer lives, as from a real window.
void HeadlessHost::DeliverTimer(CCopyDlg& dialog) {
    if (dialog.m_nTimer != 0 && window_.timers.count(dialog.m_nTimer) != 0) {
        // The poll's media tests as the desktop program makes them.
        const lnx::DiscPresence::PollScope poll;
        std::intptr_t result = 0;
        dialog.OnWndMsg(win::kWmTimer, dialog.m_nTimer, 0, &result);
    }
    Settle();
    reporter_.Report();
    // Nobody reads the fakes' call log here; keep it from growing for the whole run.
    log_.Clear();
}

bool HeadlessHost::SetTicks(CCopyDlg& dialog, const std::string& letters, bool ticked,
                            std::string& why) {
    const std::optional<std::vector<char>> wanted = ParseLetters(letters);
    if (!wanted || wanted->empty()) {
        why = "no drive letters";
        return false;
    }
    for (char letter : *wanted) {
        bool found = false;
        for (int row = 0; row < window_.list.GetItemCount(); ++row) {
            if (EntryOf(dialog, row).letter != letter) continue;
            window_.list.Tick(row, ticked);
            found = true;
        }
        if (!found) {
            why = std::string("no drive ") + letter;
            return false;
        }
    }
    return true;
}

bool HeadlessHost::Execute(CCopyDlg& dialog, const std::string& line) {
    const auto [command, argument] = SplitCommand(line);
    if (command == "quit") {
        Reply(true, line, "");
        return false;
    }
    std::string why;
    if (command == "tick" || command == "untick") {
        SetTicks(dialog, argument, command == "tick", why);
    } else if (command == "prober") {
        prober_.reset();
        if (argument != "off") {
            prober_.emplace(argument, why);
            if (!prober_->Started()) prober_.reset();
        }
    } else if (command == "fds") {
        ReportOpenFiles();
    } else if (command == "bag") {
        const auto space = argument.find(' ');
        if (space == std::string::npos) {
            why = "usage: bag NODE FOLDER";
        } else {
            ReportBag(argument.substr(0, space), argument.substr(space + 1));
        }
    } else if (command == "target") {
        dialog.m_wndTarget->SetWindowText(argument);
    } else if (command == "on-exists") {
        const std::optional<lnx::ReplaceDecision> decision = ParseReplace(argument);
        if (decision) {
            policy_->SetOnExists(*decision);
        } else {
            why = "unknown answer";
        }
    } else if (command == "on-error") {
        const std::optional<lnx::ErrorDecision> decision = ParseError(argument);
        if (decision) {
            policy_->SetOnError(*decision);
        } else {
            why = "unknown answer";
        }
    } else {
        why = "unknown command";
    }
    Settle();
    reporter_.Report();
    Reply(why.empty(), line, why);
    return true;
}

// The read blocks the dialog's events meanwhile: the host asks for it with no copy running. The
// bag's tag files and map go to the console, so that the host can check them against the disc.
void HeadlessHost::ReportBag(const std::string& node, const std::string& folder) {
    lnx::CdromIo io;
    const lnx::ImageRead how{[&](const std::string& imagePath, const std::string& mapPath,
                                 const archive::RescueHooks& hooks, const archive::RescueMap*) {
                                 return lnx::ImageDrive(io, node, imagePath, mapPath, hooks);
                             },
                             [](int fd) {
                                 lnx::ImageMount::Options options;
                                 options.useUDisks2 = false;
                                 return lnx::ImageMount::Mount(fd, options);
                             }};
    lnx::CopyIo copyIo;
    lnx::PolicyPrompts prompts(lnx::ReplaceDecision::Skip, lnx::ErrorDecision::Cancel);
    lnx::BagWriter writer(copyIo, prompts);
    lnx::BagRequest request{{}, folder, "DISC", {}};
    request.image = &how;
    const lnx::BagOutcome outcome = writer.Build(request);
    const bool published = outcome.result != lnx::BagResult::Failed &&
                           writer.Publish("Disc") == lnx::BagWriter::Published::Done;
    console_->Line("BAG " + node + " result " + std::to_string(static_cast<int>(outcome.result)) +
                   " published " + (published ? "1" : "0") +
                   (outcome.failure ? " failure " + outcome.failure->text : ""));
    for (const char* name : {"manifest-sha256.txt", "damaged-files.txt", "data/image/disc.map"}) {
        const std::string text = lnx::ReadStoreBytes(folder + "/Disc/" + name).bytes;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at);
            console_->Line(std::string("TAG ") + name + " " + text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
    }
}

// UI thread only.
std::intptr_t HeadlessHost::RunModal(CCopyDlg& dialog) {
    dialog.Attach(window_);
    dialog.OnInitDialog();
    if (!options_.target.empty()) dialog.m_wndTarget->SetWindowText(options_.target);
    std::string letters(options_.tick.begin(), options_.tick.end());
    std::string why;
    if (!letters.empty() && !SetTicks(dialog, letters, true, why)) console_->Line("NAK " + why);
    Settle();
    reporter_.Report();

    std::string drives;
    for (const auto& row : window_.list.Rows()) drives += std::string(" ") + row.param->letter;
    console_->Line("READY drives" + drives);

    Clock::time_point next = Clock::now() + Interval(dialog);
    bool running = true;
    while (running) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        const Input input = ReadInput(left, pending_);
        if (input == Input::Closed) break;
        for (std::size_t end; running && (end = pending_.find('\n')) != std::string::npos;) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) running = Execute(dialog, line);
        }
        if (running && Clock::now() >= next) {
            DeliverTimer(dialog);
            next = std::max(next + Interval(dialog), Clock::now());
        }
    }

    std::intptr_t result = 0;
    dialog.OnWndMsg(win::kWmDestroy, 0, 0, &result);
    Settle();
    return win::kIdCancel;
}

}  // namespace dravolin::vm
