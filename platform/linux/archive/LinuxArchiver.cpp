#include "platform/linux/archive/LinuxArchiver.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include "archive/BagName.h"
#include "archive/BagText.h"
#include "platform/linux/archive/ArchivePageFile.h"
#include "platform/linux/archive/BagWriter.h"
#include "platform/linux/archive/ReadOnFrom.h"
#include "platform/linux/archive/LocalClock.h"
#include "platform/linux/archive/LogFile.h"
#include "platform/linux/archive/TargetClaims.h"
#include "platform/linux/drives/LinuxShellInfo.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/mount/OwnMountRelease.h"
#include "platform/linux/order/ImageTree.h"
#include "platform/linux/order/ReadApart.h"
#include "platform/linux/paths/TargetPaths.h"

namespace dravolin::lnx {

namespace {

using archive::DiscResult;

// Why a bag that was to keep the disc's image has none.
constexpr char kFieldImage[] = "Dravolin-Image";

// The disc's identity, where it is known: the line by which its bag counts as archived.
void AddIdentity(BagFields& fields, const Archiver::Bag& bag) {
    if (!bag.identity.empty()) fields.emplace_back(archive::kFieldIdentity, bag.identity);
}

// A name that cannot be looked at counts as taken: the next one is tried, nothing is replaced.
bool NameTakenIn(const std::string& folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(AT_FDCWD, (folder + "/" + name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return true;
    }
    return errno != ENOENT;
}

// A claim is the descriptor that holds its lock.
class FdClaim : public Archiver::Claim {
  public:
    explicit FdClaim(UniqueFd fd) : fd_(std::move(fd)) {}

  private:
    UniqueFd fd_;
};

// When a read began and in which drive, as the bag's own lines say: for its Dravolin-Read line.
ImageRead::ReadBy ReadBy(const BagFields& fields) {
    ImageRead::ReadBy by;
    std::string model;
    for (const auto& [name, value] : fields) {
        if (name == "Dravolin-Started") by.start = value;
        if (name == "Dravolin-Drive" || (name == "Dravolin-Source" && by.drive.empty())) {
            by.drive = value;
        }
        if (name == "Dravolin-Drive-Model") model = value;
    }
    if (!model.empty()) by.drive += " (" + model + ")";
    return by;
}

}  // namespace

BagFields LinuxArchiver::DriveFields(const Bag& bag, const OpticalDrive& drive) {
    BagFields fields = {{"Dravolin-Drive", std::string(1, drive.letter) + ": " + drive.deviceNode},
                        {"Dravolin-Drive-Model", drive.model},
                        {"Dravolin-Drive-Serial", drive.serial},
                        {"Dravolin-Volume-Label", bag.label},
                        {"Dravolin-Fingerprint", archive::SerialText(bag.fingerprint)}};
    AddIdentity(fields, bag);
    fields.emplace_back("Dravolin-Started", archive::IsoText(bag.start));
    return fields;
}

// A folder that is no disc has no fingerprint: the line is left out rather than written as a
// number that would look like one.
BagFields LinuxArchiver::FolderFields(const Bag& bag, const std::string& source,
                                      const OpticalDrive* drive) {
    BagFields fields;
    if (drive) {
        fields = DriveFields(bag, *drive);
        fields.insert(fields.begin() + 2, {"Dravolin-Source", source});
        return fields;
    }
    fields = {{"Dravolin-Source", source}, {"Dravolin-Volume-Label", bag.label}};
    if (bag.fingerprint != 0)
        fields.emplace_back("Dravolin-Fingerprint", archive::SerialText(bag.fingerprint));
    AddIdentity(fields, bag);
    fields.emplace_back("Dravolin-Started", archive::IsoText(bag.start));
    return fields;
}

void LinuxArchiver::TellFailure(const CopyFailure& failure) const {
    if (parts_.failures) parts_.failures(failure);
}

LinuxArchiver::FolderTarget::FolderTarget(LinuxArchiver& archiver, std::string folder)
    : archiver_(archiver), folder_(std::move(folder)), path_(FolderOfTarget(folder_)) {}

std::unique_ptr<Archiver::Target> LinuxArchiver::OpenTarget(const std::string& folder) {
    return std::make_unique<FolderTarget>(*this, folder);
}

std::string LinuxArchiver::FolderTarget::ReadLog() {
    return path_.empty() ? std::string() : ReadLogFile(path_);
}

bool LinuxArchiver::FolderTarget::AppendLog(const archive::LogRow& row) {
    return !path_.empty() && AppendLogRow(*archiver_.parts_.io, path_, row);
}

std::string LinuxArchiver::FolderTarget::LogFileName() {
    return (path_.empty() ? folder_ : path_) + "/" + std::string(archive::kLogFileName);
}

std::vector<Archiver::BagInfoText> LinuxArchiver::FolderTarget::ReadBagInfos() {
    return path_.empty() ? std::vector<BagInfoText>() : lnx::ReadBagInfos(path_);
}

std::unique_ptr<Archiver::Claim> LinuxArchiver::FolderTarget::ClaimDisc(
    const std::string& identity) {
    if (path_.empty()) return nullptr;
    UniqueFd fd = lnx::ClaimDisc(path_, identity);
    if (!fd) return nullptr;
    return std::make_unique<FdClaim>(std::move(fd));
}

bool LinuxArchiver::FolderTarget::NameTaken(const std::string& name) {
    return path_.empty() || NameTakenIn(path_, name);
}

void LinuxArchiver::FolderTarget::WritePage(const archive::PageTexts& texts) {
    if (!path_.empty()) WriteArchivePage(path_, texts);
}

Archiver::BagOutcome LinuxArchiver::FolderTarget::BuildBag(const Bag& bag) {
    if (path_.empty()) {
        archiver_.TellFailure(CopyFailure{folder_, ENOENT, "No target folder: " + folder_});
        return BagOutcome{};
    }
    return archiver_.BuildBag(bag, path_);
}

archive::LocalTime LinuxArchiver::Now() {
    return LocalTimeAt(std::time(nullptr));
}

// Worker thread: the drive is asked now, whatever the row learnt before.
std::optional<Archiver::DiscIdentity> LinuxArchiver::ReadDisc(char letter) {
    if (!parts_.states) return std::nullopt;
    parts_.states->Refresh(letter);
    const DriveStates::State state = parts_.states->Get(letter);
    // A disc read now without a volume or audio (blank), or a drive not ready, has no identity:
    // what the row still shows may be the disc before it, which must not make this one
    // "already archived".
    if (state.tray == TrayState::DiscOk && !state.volume && state.audio) {
        // An audio CD is known by its table of contents; its label is what its row shows.
        return DiscIdentity{parts_.states->AudioCdLabel(), state.audio->serial,
                            state.audio->digest};
    }
    if (state.tray != TrayState::DiscOk || !state.volume) return DiscIdentity{};
    return DiscIdentity{state.volume->label, state.volume->serial, state.volume->digest};
}

// Worker thread.
Archiver::BagOutcome LinuxArchiver::BuildBag(const Bag& bag, const std::string& target) {
    const BagOutcome outcome = BagDisc(bag, target);
    // A stack of discs runs for days: what this disc's buffers held (up to megabytes in each
    // worker's malloc arena) goes back to the system, so that the program stays the size of
    // one disc and what does grow is a leak.
    ::malloc_trim(0);
    return outcome;
}

// Worker thread.
Archiver::BagOutcome LinuxArchiver::BagDisc(const Bag& bag, const std::string& target) {
    BagOutcome outcome;
    const OpticalDrive* drive = parts_.drives->Find(bag.letter);
    if (!drive) return outcome;

    std::unique_ptr<CopyPrompts> prompts = parts_.prompts->Begin(
        bag.owner, CopySource{drive->letter, NameInList(*drive, parts_.states.get())}, target);
    // A disc with audio tracks has them ripped too; one without data tracks is nothing else.
    const std::optional<AudioRead> audio = AudioOf(*drive);
    if (audio && archive::KindOf(audio->toc) == archive::DiscKind::Audio) {
        prompts->OnMounted(drive->deviceNode);
        return BagFiles(bag, target, {}, DriveFields(bag, *drive), *prompts, nullptr, &*audio);
    }
    const AudioRead* tracks = audio ? &*audio : nullptr;
    std::unique_ptr<TargetRoom::Promise> room;
    std::uint64_t session = 0;
    const ImageUse use = parts_.cdrom && !FilesFromDiscAsked()
                             ? ImageUseOf(
                                   *parts_.cdrom, drive->deviceNode, bag.keep,
                                   [&](std::uint64_t bytes) {
                                       room = room_.Take(target, bytes);
                                       return room != nullptr;
                                   },
                                   FindLayoutHelper().has_value(), &session)
                             : ImageUse::None;
    ImageRead image{[&](const std::string& imagePath, const std::string& mapPath,
                        const archive::RescueHooks& hooks, const archive::RescueMap* earlier) {
                        return ImageDrive(*parts_.cdrom, drive->deviceNode, imagePath, mapPath,
                                          hooks, earlier);
                    },
                    [](int fd) { return ImageMount::Mount(fd, ImageMount::Options{}); }, bag.keep,
                    [session](const std::string& path) { return ReadImageTree(path, session); }};
    if (use == ImageUse::FilesFromImage || use == ImageUse::FilesFromLastSession ||
        use == ImageUse::ImageOnly) {
        // A loop device would show the first session: the library reads the last.
        if (use == ImageUse::FilesFromLastSession) image.mount = nullptr;
        prompts->OnMounted(drive->deviceNode);
        return BagFiles(bag, target, {}, DriveFields(bag, *drive), *prompts, &image, tracks);
    }
    // Beside the files read from the disc, or not read at all.
    image.mount = nullptr;
    image.tree = nullptr;
    const DiscMounter::Mounted mounted = parts_.mounter->EnsureMounted(*drive);
    if (!mounted.ok) {
        outcome.result = mounted.failure.problem == MountProblem::NoFileSystem
                             ? DiscResult::NoFileSystem
                             : DiscResult::Failed;
        TellFailure(
            CopyFailure{drive->deviceNode, 0, mounted.failure.reason, mounted.failure.problem});
        // The window closes with nothing to read: what came of the disc goes to the log.
        prompts->OnFinished(CopyOutcome::Failed, {});
        return outcome;
    }
    prompts->OnMounted(mounted.mountPoint);
    const OwnMountRelease release(*parts_.mounter, *drive, mounted.own);
    BagFields fields = DriveFields(bag, *drive);
    if (use == ImageUse::NoRoom) {
        fields.emplace_back(kFieldImage,
                            "not kept: the target had no room for the disc's image and its files "
                            "both, so the files were read from the disc");
    }
    return BagFiles(bag, target, mounted.mountPoint, fields, *prompts,
                    use == ImageUse::ImageBeside ? &image : nullptr, tracks);
}

// Worker thread.
Archiver::BagOutcome LinuxArchiver::BagImageFile(const Bag& bag, const std::string& target,
                                                 const std::string& path, const BagFields& fields,
                                                 CopyPrompts& prompts) {
    ImageRead image{[&](const std::string& imagePath, const std::string& mapPath,
                        const archive::RescueHooks& hooks, const archive::RescueMap* earlier) {
                        return ImageFileImage(path, imagePath, mapPath, hooks, earlier);
                    },
                    nullptr, bag.keep};
    if (bag.keep != archive::BagKeeps::Image) {
        image.mount = [](int fd) { return ImageMount::Mount(fd, ImageMount::Options{}); };
        image.tree = [](const std::string& imagePath) { return ReadImageTree(imagePath); };
    }
    return BagFiles(bag, target, {}, fields, prompts, &image);
}

// Worker thread.
Archiver::BagOutcome LinuxArchiver::BagFiles(const Bag& bag, const std::string& target,
                                             const std::string& root, const BagFields& fields,
                                             CopyPrompts& prompts, const ImageRead* image,
                                             const AudioRead* audio) {
    BagOutcome outcome;
    // The window closes with nothing to read: what came of the disc goes to the log.
    const auto finish = [&](CopyOutcome how) { prompts.OnFinished(how, {}); };

    // Most of the user's fields are BagIt's standard ones: they go beside the others.
    BagFields info = bag.userFields;
    info.insert(info.end(), fields.begin(), fields.end());
    BagRequest request{root, target, bag.label, std::move(info)};
    request.audio = audio;
    if (audio) outcome.discId = audio->discId;
    std::optional<ReadOnFrom> from;
    std::optional<ImageRead> read;
    if (image) {
        read = *image;
        read->readBy = ReadBy(fields);
        // Carried on only where the files come out of the image, so that the merged bag holds
        // every file the earlier one held, each at least as whole.
        if (!bag.earlier.empty() && (image->mount || image->tree)) {
            from = ReadOnFrom::Open(target, bag.earlier, image->keep == archive::BagKeeps::Image);
            if (from) read->earlier = &from->Earlier();
        }
        request.image = &*read;
    }
    if (bag.timeBudgetSeconds > 0) {
        request.readUntil =
            std::chrono::steady_clock::now() + std::chrono::seconds(bag.timeBudgetSeconds);
    }
    BagWriter writer(*parts_.io, prompts);
    const lnx::BagOutcome built = writer.Build(request);
    outcome.files = built.files;
    outcome.bytes = built.bytes;
    outcome.damagedFiles = built.damagedFiles;
    outcome.budgetSpent = built.budgetSpent;
    outcome.readOn = built.readOn;
    outcome.gained = built.gained;
    if (built.result == BagResult::Unchanged) {
        outcome.result = DiscResult::Incomplete;
        outcome.folderName = bag.earlier;
        finish(CopyOutcome::Completed);
        return outcome;
    }
    const DiscResult result = archive::BuiltResult(
        built.result != BagResult::Failed, built.result == BagResult::Complete, built.targetFull);
    if (built.result == BagResult::Failed) {
        outcome.result = result;
        if (built.failure) TellFailure(*built.failure);
        finish(built.cancelled ? CopyOutcome::Cancelled : CopyOutcome::Failed);
        return outcome;
    }
    // A merged bag takes the name of the earlier one where it comes to the same, in its place.
    const bool replaces = built.readOn && !built.targetFull;
    const archive::NameTaken taken = [&](const std::string& name) {
        return !(replaces && name == bag.earlier) && NameTakenIn(target, name);
    };
    int error = 0;
    const archive::Publishing published =
        archive::PublishBag(bag.name, result, taken, [&](const std::string& name) {
            return replaces && name == bag.earlier ? writer.PublishOver(name, &error)
                                                   : writer.Publish(name, &error);
        });
    const std::string path = target + "/" + published.name;
    switch (published.answer) {
        case archive::Published::Done:
            outcome.result = result;
            outcome.folderName = published.name;
            // Only now that the merged bag stands whole under its name: a crash before leaves
            // the earlier bag as it was, one after it both, the merged one holding all.
            if (replaces && from) from->Replaced(published.name);
            finish(CopyOutcome::Completed);
            return outcome;
        case archive::Published::Failed:
            outcome.result = IsTargetFull(error) ? DiscResult::TargetFull : DiscResult::Failed;
            TellFailure(
                CopyFailure{path, error, "Cannot name the bag " + path + ": " + ErrorText(error)});
            break;
        case archive::Published::NameTaken:
            TellFailure(CopyFailure{target + "/" + bag.name, EEXIST,
                                    "No free name for the bag " + target + "/" + bag.name});
            break;
    }
    finish(CopyOutcome::Failed);
    return outcome;
}

void LinuxArchiver::Notify(Urgency urgency, const std::string& text) {
    if (parts_.notifications) parts_.notifications->Send(urgency == Urgency::NeedsPerson, text);
}

}  // namespace dravolin::lnx
