#pragma once
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/qt/texts/Texts.h"

namespace dravolin::cli {

// The face of an archive copy on a terminal: one progress line on the error output, redrawn in
// place a few times a second (files and bytes done of the total, the file being read), wiped
// when the copy ends. Where the error output is no terminal nothing is drawn. Asks nothing: an
// archive copy has no question. A stop request (an interrupt) ends the copy at its next block.
class TerminalProgress : public lnx::CopyPromptsFactory {
  public:
    TerminalProgress(std::FILE* out, const qt::CopyTexts& texts,
                     const std::atomic<bool>& stopRequested);
    std::unique_ptr<lnx::CopyPrompts> Begin(WindowHandle owner, const lnx::CopySource& source,
                                            const std::string& target) override;

  private:
    std::FILE* out_;
    bool terminal_;
    const qt::CopyTexts& texts_;
    const std::atomic<bool>& stopRequested_;
};

// The progress line's text: "12 of 340 files, 1.2 MB of 45.0 MB: photos/a.jpg".
QString ProgressLine(const lnx::CopyProgress& progress, const qt::CopyTexts& texts);

}  // namespace dravolin::cli
