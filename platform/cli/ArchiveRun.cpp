#include "platform/cli/ArchiveRun.h"

#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include "archive/SameDisc.h"
#include "engine/ArchiveDisc.h"
#include "platform/cli/SourceArchiver.h"
#include "platform/cli/SourceDisc.h"
#include "platform/cli/TerminalProgress.h"
#include "platform/linux/archive/LinuxArchiver.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/paths/Folders.h"
#include "platform/linux/paths/TargetPaths.h"

namespace dravolin::cli {

namespace {

using archive::DiscResult;

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

RunOutcome Failed(const qt::Translation& texts, const QString& why, int status = kFailed) {
    return {status, texts.Text("archiveProgram.failed").arg(why), {}};
}

// A relative target is the current folder's, as every command-line tool reads it.
std::string Absolute(const std::string& path) {
    if (path.starts_with('/')) return path;
    char here[PATH_MAX];
    if (!::getcwd(here, sizeof here)) return path;
    return std::string(here) + "/" + path;
}

bool Inside(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder == "/" ? folder : folder + "/");
}

// Why a disc got no bag, in one line: the mount's problem in the dialog's words, else what
// failed and the system's reason.
QString WhyNoBag(const qt::Translation& texts, const std::string& source,
                 const std::optional<lnx::CopyFailure>& failure) {
    if (failure && failure->mount) {
        const qt::CopyTexts& copy = qt::CopyTextsOf(texts.language());
        QString text = copy.mountProblems[static_cast<int>(*failure->mount)];
        text = text.contains(QLatin1String("%2")) ? text.arg(Local(source), Local(failure->text))
                                                  : text.arg(Local(source));
        return text.replace(QStringLiteral("\n\n"), QStringLiteral(": "))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    const QString notArchived = texts.Text("archiveProgram.notArchived").arg(Local(source));
    return failure ? notArchived + QStringLiteral(": ") + Local(failure->text) : notArchived;
}

}  // namespace

RunOutcome RunArchive(const ArchiveOptions& options, const std::string& source,
                      const std::string& targetGiven, const qt::Translation& texts,
                      const std::atomic<bool>& stop) {
    const lnx::SystemRoots roots;
    const auto drives = std::make_shared<const lnx::OpticalDrives>(roots);
    SourceProblem problem;
    const std::optional<SourceDisc> disc = FindSource(source, *drives, roots.mountInfo, problem);
    if (!disc) {
        return Failed(texts, problem.kind == SourceProblem::Kind::Unreadable
                                 ? texts.Text("archiveProgram.sourceUnreadable")
                                       .arg(Local(source), Local(lnx::ErrorText(problem.error)))
                                 : texts.Text("archiveProgram.notASource").arg(Local(source)));
    }

    // The archiver reads its target as the dialog reads one (a backslash is a separator):
    // the folder made here must be the one it writes to.
    std::string target = lnx::FolderOfTarget(Absolute(targetGiven));
    std::vector<std::string> made;
    const int error = target.empty() ? ENOENT : lnx::MakeFolders(target, &made);
    if (error != 0) {
        return Failed(texts, texts.Text("archiveProgram.targetUnusable")
                                 .arg(Local(targetGiven), Local(lnx::ErrorText(error))));
    }
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved)) target = resolved;
    if (target.find('\\') != std::string::npos) {
        lnx::RemoveFolders(made);
        return Failed(texts, texts.Text("archiveProgram.targetBackslash").arg(Local(target)));
    }
    // The copy would read the bag it writes.
    if (!disc->isDrive && Inside(target, disc->folder)) {
        lnx::RemoveFolders(made);
        return Failed(
            texts,
            texts.Text("archiveProgram.targetInSource").arg(Local(target), Local(disc->folder)));
    }

    const auto progress =
        std::make_shared<TerminalProgress>(stderr, qt::CopyTextsOf(texts.language()), stop);
    std::optional<lnx::CopyFailure> failure;
    std::shared_ptr<lnx::DiscMounter> mounter;
    if (disc->isDrive) {
        mounter = std::make_shared<lnx::DiscMounter>(lnx::DiscMounter::Options{},
                                                     std::make_shared<lnx::MountCalls>());
    }
    lnx::LinuxArchiver linuxArchiver(lnx::LinuxArchiver::Parts{
        drives, mounter, nullptr, progress, std::make_shared<lnx::CopyIo>(), nullptr,
        [&failure](const lnx::CopyFailure& why) { failure = why; }});
    SourceArchiver archiver(linuxArchiver, *progress, *disc, disc->isDrive ? source : disc->folder);

    ArchiveSettings settings;
    settings.options = options;
    settings.options.on = true;
    const DiscResult result = ArchiveDisc(archiver, settings,
                                          DiscToArchive{disc->drive ? disc->drive->letter : '\0', 0,
                                                        target, disc->label, disc->fingerprint});
    if (mounter) mounter->ReleaseAll();

    RunOutcome outcome;
    const std::string bag = archiver.row() && !archiver.row()->bagFolder.empty()
                                ? target + "/" + archiver.row()->bagFolder
                                : std::string();
    switch (result) {
        case DiscResult::Complete:
            outcome = {kComplete, texts.Text("archiveProgram.complete").arg(Local(bag)), {}};
            break;
        case DiscResult::Incomplete:
            outcome = {kIncomplete, texts.Text("archiveProgram.incomplete").arg(Local(bag)), {}};
            break;
        case DiscResult::AlreadyArchived: {
            const auto rows = archive::ParseLog(archiver.logRead());
            const std::string archivedIn =
                target + "/" + archive::Decide(rows, disc->fingerprint).archivedIn;
            outcome = {
                kComplete, texts.Text("archiveProgram.alreadyArchived").arg(Local(archivedIn)), {}};
            break;
        }
        case DiscResult::TargetFull:
            outcome = Failed(texts, texts.Text("archiveProgram.targetFull").arg(Local(target)),
                             kTargetFull);
            break;
        case DiscResult::NoFileSystem:
        case DiscResult::Failed:
            outcome = Failed(texts, stop.load() ? texts.Text("archiveProgram.interrupted")
                                                : WhyNoBag(texts, source, failure));
            break;
    }
    if (!archiver.logged()) {
        outcome.warning = texts.Text("archiveProgram.logNotWritten")
                              .arg(Local(target + "/" + std::string(archive::kLogFileName)));
    }
    return outcome;
}

}  // namespace dravolin::cli
