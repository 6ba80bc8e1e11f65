#include "platform/cli/TerminalProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace dravolin::cli {

namespace {

// Often enough to look alive, seldom enough to cost nothing and stay readable.
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

int TerminalColumns(std::FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
    return 80;
}

class TerminalPrompts : public lnx::CopyPrompts {
  public:
    TerminalPrompts(std::FILE* out, bool terminal, const qt::CopyTexts& texts,
                    const std::atomic<bool>& stopRequested)
        : out_(out), terminal_(terminal), texts_(texts), stopRequested_(stopRequested) {}
    ~TerminalPrompts() override { Wipe(); }

    void OnMounted(const std::string&) override {}
    bool OnProgress(const lnx::CopyProgress& progress) override {
        if (stopRequested_.load()) return false;
        if (!terminal_) return true;
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - lastDrawn_ < kRedrawEvery) return true;
        lastDrawn_ = now;
        // One line, cut to the terminal's width so that it never wraps and \r reaches its start.
        const int columns = TerminalColumns(out_) - 1;
        QString line = ProgressLine(progress, texts_);
        if (line.size() > columns) line = line.left(columns);
        std::fprintf(out_, "\r%s\033[K", line.toLocal8Bit().constData());
        std::fflush(out_);
        drawn_ = true;
        return true;
    }
    lnx::ReplaceDecision AskReplace(const lnx::ReplaceQuestion&) override {
        // A bag is a new folder: nothing in it can be replaced.
        return lnx::ReplaceDecision::Skip;
    }
    lnx::ErrorDecision AskError(const lnx::CopyFailure&) override {
        return lnx::ErrorDecision::Cancel;
    }
    void OnFinished(lnx::CopyOutcome, const std::string&) override { Wipe(); }

  private:
    void Wipe() {
        if (!drawn_) return;
        std::fputs("\r\033[K", out_);
        std::fflush(out_);
        drawn_ = false;
    }

    std::FILE* out_;
    bool terminal_;
    const qt::CopyTexts& texts_;
    const std::atomic<bool>& stopRequested_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

}  // namespace

QString ProgressLine(const lnx::CopyProgress& progress, const qt::CopyTexts& texts) {
    QString line =
        texts.files.arg(QString::number(progress.filesDone), QString::number(progress.filesTotal)) +
        QStringLiteral(", ") +
        texts.bytes.arg(qt::FormatBytes(progress.bytesDone, texts),
                        qt::FormatBytes(progress.bytesTotal, texts));
    if (!progress.scanning && !progress.currentFile.empty()) {
        line += QStringLiteral(": ") + QString::fromStdString(progress.currentFile);
    }
    // A name may hold line breaks or terminal controls: they would break the line or the screen.
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control) c = QLatin1Char('?');
    }
    return line;
}

TerminalProgress::TerminalProgress(std::FILE* out, const qt::CopyTexts& texts,
                                   const std::atomic<bool>& stopRequested)
    : out_(out),
      terminal_(::isatty(::fileno(out)) == 1),
      texts_(texts),
      stopRequested_(stopRequested) {}

std::unique_ptr<lnx::CopyPrompts> TerminalProgress::Begin(WindowHandle, const lnx::CopySource&,
                                                          const std::string&) {
    return std::make_unique<TerminalPrompts>(out_, terminal_, texts_, stopRequested_);
}

}  // namespace dravolin::cli
