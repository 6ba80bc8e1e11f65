#pragma once
#include <optional>
#include <string>
#include "archive/ArchiveLog.h"
#include "platform/Archiver.h"
#include "platform/cli/SourceDisc.h"
#include "platform/linux/archive/LinuxArchiver.h"

namespace dravolin::cli {

// The archiver of the one disc the command line names. A drive's disc is bagged by the Linux
// archiver as the dialog bags it (mounted, then let go); a folder (a mounted disc, a
// loop-mounted image, any folder) is bagged as it is, nothing mounted. The target's log, names
// and clock are the Linux archiver's. It keeps what the program reports at the end: the log as
// the disc's decision read it and the row written.
class SourceArchiver : public Archiver {
  public:
    // `source` as the user named it, for bag-info.txt.
    SourceArchiver(lnx::LinuxArchiver& archiver, lnx::CopyPromptsFactory& prompts,
                   const SourceDisc& disc, std::string source)
        : archiver_(archiver), prompts_(prompts), disc_(disc), source_(std::move(source)) {}

    std::unique_ptr<Target> OpenTarget(const std::string& folder) override;
    archive::LocalTime Now() override { return archiver_.Now(); }
    void Notify(Urgency urgency, const std::string& text) override {
        archiver_.Notify(urgency, text);
    }

    const std::string& logRead() const { return logRead_; }
    const std::optional<archive::LogRow>& row() const { return row_; }
    bool logged() const { return logged_; }

  private:
    class SourceTarget;

    lnx::LinuxArchiver& archiver_;
    lnx::CopyPromptsFactory& prompts_;
    const SourceDisc& disc_;
    std::string source_;
    std::string logRead_;
    std::optional<archive::LogRow> row_;
    bool logged_ = false;
};

}  // namespace dravolin::cli
