#include "platform/cli/ArchiveRun.h"

#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <QStringList>
#include "engine/ArchiveDisc.h"
#include "platform/cli/SourceArchiver.h"
#include "platform/cli/SourceDisc.h"
#include "platform/cli/TerminalProgress.h"
#include "platform/linux/archive/LinuxArchiver.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/paths/Folders.h"
#include "platform/linux/paths/LinuxPathPreparer.h"
#include "platform/linux/paths/TargetPaths.h"
#include "platform/linux/QuietServices.h"
#include "platform/qt/texts/Texts.h"
#include "target/NormalizeDestination.h"

namespace dravolin::cli {

namespace {

using archive::DiscResult;

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

RunOutcome Failed(const qt::Translation& texts, const QString& why, int status = kFailed) {
    return {status, texts.Text("archiveProgram.failed").arg(why), {}};
}

// The target as the dialog reads its own, by the dialog's rules, applied to the text as given:
// blanks around it trimmed, the characters Windows forbids refused, a Windows drive path or
// network name refused, "~" the home folder, a backslash a separator. Only a path still relative
// after that is the current folder's, as every command-line tool reads it. Empty, with `why`
// set, when the text names no folder.
std::string TargetFolder(const std::string& given, const qt::Translation& texts, QString& why) {
    std::string text = given;
    const lnx::Utf8CodePage codePage;
    lnx::LinuxPathPreparer unused;
    if (!NormalizeDestination(text, codePage, unused, 0, false)) {
        why = text.empty() ? texts.Text("archiveProgram.targetUnusable")
                                 .arg(Local(given), Local(lnx::ErrorText(ENOENT)))
                           : texts.Text("archiveProgram.targetForbidden").arg(Local(given));
        return {};
    }
    const qt::PrepareTexts& prepare = qt::PrepareTextsOf(texts.language());
    QString refusal;
    switch (lnx::RefusalOf(text)) {
        case lnx::TargetRefusal::DrivePath:
            refusal = prepare.drivePath;
            break;
        case lnx::TargetRefusal::NetworkName:
            refusal = prepare.networkName;
            break;
        case lnx::TargetRefusal::UnknownUser:
            refusal = prepare.unknownUser.arg(Local(lnx::UserNameOf(text)));
            break;
        case lnx::TargetRefusal::None:
            break;
    }
    if (!refusal.isEmpty()) {
        why = texts.Text("archiveProgram.targetUnusable").arg(Local(given), refusal);
        return {};
    }
    char here[PATH_MAX];
    if (text[0] != '/' && text[0] != '\\' && text[0] != '~' && ::getcwd(here, sizeof here)) {
        text = std::string(here) + "/" + text;
    }
    const std::string folder = lnx::FolderOfTarget(text);
    if (folder.empty()) {
        why = texts.Text("archiveProgram.targetUnusable")
                  .arg(Local(given), Local(lnx::ErrorText(ENOENT)));
    }
    return folder;
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

    // The archiver reads its target as the dialog reads one: the folder made here must be the
    // one it writes to.
    QString why;
    std::string target = TargetFolder(targetGiven, texts, why);
    if (target.empty()) return Failed(texts, why);
    std::vector<std::string> made;
    const int error = lnx::MakeFolders(target, &made);
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
    if (!disc->folder.empty() && Inside(target, disc->folder)) {
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
        [&failure](const lnx::CopyFailure& why) { failure = why; },
        std::make_shared<lnx::CdromIo>()});
    SourceArchiver archiver(linuxArchiver, *progress, *disc,
                            !disc->folder.empty()    ? disc->folder
                            : disc->isDrive          ? source
                            : !disc->cdImage.empty() ? disc->cdImage
                                                     : disc->imageFile);

    ArchiveSettings settings;
    settings.options = options;
    settings.options.on = true;
    settings.texts.pageLanguage = texts.Text("IDS_ARCHIVE_PAGE_LANGUAGE").toStdString();
    const ArchivedDisc archived =
        ArchiveDisc(archiver, settings,
                    DiscToArchive{disc->drive ? disc->drive->letter : '\0', 0, target, disc->label,
                                  disc->fingerprint, disc->identity});
    const DiscResult result = archived.result;
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
        case DiscResult::AlreadyArchived:
            outcome = {kComplete,
                       texts.Text("archiveProgram.alreadyArchived")
                           .arg(Local(target + "/" + archived.archivedIn)),
                       {}};
            break;
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
    QStringList warnings;
    if (!archived.readOnFrom.empty()) {
        const QString earlier = Local(target + "/" + archived.readOnFrom);
        warnings << (archived.gained > 0 ? texts.Text("archiveProgram.readOn")
                                               .arg(earlier, QString::number(archived.gained))
                                         : texts.Text("archiveProgram.nothingGained").arg(earlier));
    }
    if (result == DiscResult::Incomplete && disc->isDrive) {
        warnings << texts.Text("archiveProgram.anotherDrive");
    }
    if (!archiver.logged()) {
        warnings << texts.Text("archiveProgram.logNotWritten")
                        .arg(Local(target + "/" + std::string(archive::kLogFileName)));
    }
    outcome.warning = warnings.join('\n');
    return outcome;
}

}  // namespace dravolin::cli
