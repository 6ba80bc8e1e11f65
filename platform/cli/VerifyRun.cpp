#include "platform/cli/VerifyRun.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include "archive/BagCheck.h"
#include "archive/LocalTime.h"
#include "archive/PageTexts.h"
#include "platform/linux/archive/ArchivePageFile.h"
#include "platform/linux/archive/BagCheck.h"
#include "platform/linux/archive/LocalClock.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/store/StoreIo.h"

namespace dravolin::cli {

namespace {

QString VerifyLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

void PrintLine(std::FILE* out, const QString& line) {
    std::fprintf(out, "%s\n", line.toLocal8Bit().constData());
}

}  // namespace

int RunVerify(const std::vector<std::string>& operands, const qt::Translation& texts,
              const std::atomic<bool>& stop) {
    const std::string& target = operands.front();
    const lnx::UniqueFd folder(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        PrintLine(stderr, texts.Text("verifyProgram.targetUnreadable")
                              .arg(VerifyLocal(target), VerifyLocal(lnx::ErrorText(errno))));
        return kCouldNotRun;
    }
    std::vector<std::string> bags(operands.begin() + 1, operands.end());
    for (std::string& bag : bags) {
        // A bag named by its path is the folder's entry of that name.
        while (bag.size() > 1 && bag.back() == '/') bag.pop_back();
        bag = bag.substr(bag.rfind('/') + 1);
    }
    if (bags.empty()) bags = lnx::BagsIn(folder.Get());

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const archive::LocalTime started = lnx::LocalTimeAt(std::time(nullptr));
    std::vector<archive::CheckedBag> checked;
    int status = kAllValid;
    for (std::size_t at = 0; at < bags.size(); ++at) {
        const auto progress = [&](std::uint64_t bytes) {
            if (terminal) {
                std::fprintf(stderr, "\r\033[K%s",
                             texts.Text("verifyProgram.progress")
                                 .arg(QString::number(at + 1), QString::number(bags.size()),
                                      VerifyLocal(bags[at]), QString::number(bytes >> 20))
                                 .toLocal8Bit()
                                 .constData());
            }
            return !stop.load();
        };
        std::optional<archive::BagFindings> found =
            progress(0) ? lnx::CheckBag(folder.Get(), bags[at], progress) : std::nullopt;
        if (terminal) std::fputs("\r\033[K", stderr);
        if (!found) {
            PrintLine(stderr, texts.Text("verifyProgram.stopped"));
            return kCouldNotRun;
        }
        const archive::BagVerdict verdict = archive::VerdictOf(*found);
        if (verdict != archive::BagVerdict::Valid) status = kSomethingChanged;
        static constexpr const char* kLines[] = {
            "verifyProgram.valid", "verifyProgram.changed", "verifyProgram.missingFiles",
            "verifyProgram.extraFiles", "verifyProgram.unreadable"};
        PrintLine(stdout, texts.Text(kLines[static_cast<int>(verdict)])
                              .arg(VerifyLocal(target + "/" + bags[at])));
        checked.push_back({bags[at], std::move(*found)});
    }

    const std::string heading = "# Dravolin fixity check of " + target + ", begun " +
                                archive::IsoText(started) +
                                "\n# The last line is the SHA-256 of the lines before it.\n";
    const std::string report = target + "/" + archive::ReportName(started);
    const std::string text = archive::ReportText(
        heading, checked, [](std::string_view bytes) { return lnx::Sha256Of(bytes); });
    if (const int error = lnx::WriteAtomically(report, text, lnx::kSharedFileMode)) {
        PrintLine(stderr, texts.Text("verifyProgram.reportUnwritten")
                              .arg(VerifyLocal(report), VerifyLocal(lnx::ErrorText(error))));
        return kCouldNotRun;
    }
    PrintLine(stderr, texts.Text("verifyProgram.report").arg(VerifyLocal(report)));
    // The page shows each bag's last check; a page that cannot be written leaves the report.
    lnx::WriteArchivePage(
        target, archive::PageTextsFor(texts.Text("IDS_ARCHIVE_PAGE_LANGUAGE").toStdString()));
    return status;
}

}  // namespace dravolin::cli
