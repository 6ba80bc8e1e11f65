#include "platform/linux/archive/BagWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <iterator>
#include <cerrno>
#include <set>
#include "platform/linux/archive/FilesFromTree.h"
#include "platform/linux/archive/LocalClock.h"
#include "platform/linux/archive/Utf8Payload.h"
#include "platform/linux/copy/SafeName.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/paths/Folders.h"

namespace dravolin::lnx {

namespace {

constexpr char kDeclarationName[] = "bagit.txt";
// The usual block of a file system: a file that is not empty takes whole ones.
constexpr std::uint64_t kBlock = 4096;

std::uint64_t Blocks(std::uint64_t bytes) {
    return (bytes + kBlock - 1) / kBlock * kBlock;
}

// Stops the copy once the disc's time budget is spent; all else is the caller's prompts'.
class BudgetedPrompts : public CopyPrompts {
  public:
    BudgetedPrompts(CopyPrompts& prompts,
                    std::optional<std::chrono::steady_clock::time_point> until)
        : prompts_(prompts), until_(until) {}
    bool Spent() const { return spent_; }

    void OnMounted(const std::string& folder) override { prompts_.OnMounted(folder); }
    bool OnProgress(const CopyProgress& progress) override {
        if (until_ && std::chrono::steady_clock::now() >= *until_) spent_ = true;
        return !spent_ && prompts_.OnProgress(progress);
    }
    ReplaceDecision AskReplace(const ReplaceQuestion& question) override {
        return prompts_.AskReplace(question);
    }
    ErrorDecision AskError(const CopyFailure& failure) override {
        return prompts_.AskError(failure);
    }
    void OnFinished(CopyOutcome outcome, const std::string& summary) override {
        prompts_.OnFinished(outcome, summary);
    }

  private:
    CopyPrompts& prompts_;
    std::optional<std::chrono::steady_clock::time_point> until_;
    bool spent_ = false;
};

}  // namespace

BagWriter::BagWriter(CopyIo& io, CopyPrompts& prompts)
    : io_(io), prompts_(prompts), owner_(ThisProcess()), random_(std::random_device{}()) {}

BagWriter::~BagWriter() {
    Discard();
}

std::string BagWriter::BuildingPath() const {
    return bag_.name.empty() ? std::string() : targetFolder_ + "/" + bag_.name;
}

void BagWriter::Discard() {
    // Removed while its lock is still held, then let go.
    if (bag_.folder && target_) RemoveTree(target_.Get(), bag_.name);
    bag_ = BagFolder{};
    built_ = false;
}

BagOutcome BagWriter::Fail(BagOutcome outcome, const std::string& path, int error,
                           const std::string& what) {
    outcome.result = BagResult::Failed;
    outcome.failure = CopyFailure{path, error, what + " " + path + ": " + ErrorText(error)};
    Discard();
    return outcome;
}

BagOutcome BagWriter::Build(const BagRequest& request) {
    BagOutcome outcome;
    if (target_) return Fail(outcome, request.targetFolder, EALREADY, "Already made a bag in");
    targetFolder_ = request.targetFolder;
    if (const int error = MakeFolders(targetFolder_)) {
        return Fail(outcome, targetFolder_, error, "Cannot open");
    }
    target_.Reset(::open(targetFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!target_) return Fail(outcome, targetFolder_, errno, "Cannot open");
    RemoveStaleBags(target_.Get(), owner_);
    int error = 0;
    bag_ = MakeBagFolder(target_.Get(), owner_, random_(), error);
    if (!bag_.folder) return Fail(outcome, targetFolder_, error, "Cannot create a folder in");
    const bool audioOnly = request.audio && !request.image && request.discRoot.empty();
    const bool takesFiles =
        !audioOnly && (!request.image || request.image->keep != archive::BagKeeps::Image);
    if (::mkdirat(bag_.folder.Get(), archive::kPayloadFolder, 0777) != 0 ||
        (takesFiles && ::mkdirat(bag_.folder.Get(), archive::kFilesFolder, 0777) != 0)) {
        return Fail(outcome, BuildingPath(), errno, "Cannot create a folder in");
    }
    // Written before the payload: a bag whose disk fills up still has its declaration, and what
    // the payload leaves for the other tag files is made room for below.
    if (const int failed = WriteTagFile(kDeclarationName, archive::BagDeclaration())) {
        outcome.targetFull = IsTargetFull(failed);
        return Fail(outcome, BuildingPath() + "/" + kDeclarationName, failed, "Cannot write");
    }

    ArchiveRecord record;
    const bool fromImage = request.image && (request.image->mount || request.image->tree);
    BudgetedPrompts prompts(prompts_, fromImage ? std::nullopt : request.readUntil);
    std::optional<BagImage> image;
    std::string root = request.discRoot;
    std::string unopened;  // why the image's files could not be had
    archive::BagEnd imageEnd;
    if (request.image) {
        BudgetedPrompts reading(prompts_, request.readUntil);
        image.emplace(*request.image, bag_.folder.Get(), BuildingPath());
        const int failed =
            image->Read([&](const CopyProgress& progress) { return reading.OnProgress(progress); });
        const std::string folder = BuildingPath() + "/" + archive::kImageFolder;
        if (failed) {
            outcome.targetFull = IsTargetFull(failed);
            return Fail(outcome, folder, failed, "Cannot read the disc into");
        }
        if (image->Stopped() && !reading.Spent()) {
            outcome.cancelled = true;
            Discard();
            return outcome;
        }
        outcome.targetFull = image->TargetFull();
        outcome.readOn = image->ReadOn();
        outcome.gained = image->Gained();
        // A read on that gained nothing leaves the earlier bag as it was; one the target cut
        // short has no room for the files, which the earlier bag holds: it stays too.
        if (outcome.readOn && outcome.targetFull) {
            return Fail(outcome, BuildingPath() + "/" + archive::kImageFolder, ENOSPC,
                        "Cannot read the disc on into");
        }
        if (outcome.readOn && outcome.gained == 0) {
            outcome.result = BagResult::Unchanged;
            Discard();
            return outcome;
        }
        for (const std::string& read : image->Reads()) {
            imageEnd.notes.emplace_back(archive::kFieldRead, read);
        }
        if (image->TargetFull() || !takesFiles) {
            root.clear();
        } else if (fromImage) {
            std::string why;
            root = image->Open(random_(), why);
            record.fill = image->Fill();
            // The read is kept: the image holds the disc, whatever this machine mounts.
            if (root.empty() && !image->Tree()) unopened = why;
            // The earlier bag has its files: it is not replaced by one without them.
            if (outcome.readOn && !unopened.empty()) {
                return Fail(outcome, folder, ENOTSUP, "Cannot take the files out of");
            }
            if (image->Tree()) imageEnd.notes.emplace_back(archive::kFieldFilesTaken, why);
        }
    }
    const std::string files = BuildingPath() + "/" + archive::kFilesFolder;
    TreeCopier::Result copied;
    copied.outcome = CopyOutcome::Completed;
    // A target the image filled has no room for the files: the image and map are the bag.
    if (!outcome.targetFull && takesFiles && unopened.empty()) {
        if (image && image->Tree()) {
            const UniqueFd data(::openat(bag_.folder.Get(), archive::kFilesFolder,
                                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!data) return Fail(outcome, files, errno, "Cannot open");
            copied = CopyFilesFromTree(io_, prompts, image->Fd(), image->Map(), *image->Tree(),
                                       data.Get(), record);
        } else {
            TreeCopier copier(io_, prompts, record);
            copied = copier.Copy(root, files);
        }
        outcome.targetFull = record.failure && IsTargetFull(record.failure->errorNumber);
    }
    outcome.summary = copied.summary;
    // What a spent budget or a full disk stopped is a bag of what was written: every file in
    // it is whole.
    // The image's read stops early only for the budget: a person's stop ended the bag above.
    const bool imageStopped = image && image->Stopped();
    outcome.budgetSpent = (prompts.Spent() || imageStopped) && !record.failure;
    if (copied.outcome != CopyOutcome::Completed && !outcome.budgetSpent && !outcome.targetFull) {
        outcome.failure = record.failure;
        outcome.cancelled = !record.failure;
        Discard();
        return outcome;
    }
    if (request.audio && !outcome.targetFull && !outcome.budgetSpent) {
        BudgetedPrompts ripping(prompts_, request.readUntil);
        AudioBagResult audio =
            RipAudio(*request.audio, bag_.folder.Get(),
                     [&](const CopyProgress& p) { return ripping.OnProgress(p); });
        const std::string folder = BuildingPath() + "/" + archive::kAudioFolder;
        if (audio.error != 0 && !IsTargetFull(audio.error)) {
            return Fail(outcome, folder, audio.error, "Cannot read the disc's audio into");
        }
        if (audio.stopped && !ripping.Spent()) {
            outcome.cancelled = true;
            Discard();
            return outcome;
        }
        // Whatever fit is kept: every track listed is whole, or says where it is not.
        outcome.targetFull = IsTargetFull(audio.error);
        outcome.budgetSpent = ripping.Spent();
        std::move(audio.files.begin(), audio.files.end(), std::back_inserter(record.files));
        imageEnd.notes.insert(imageEnd.notes.end(), audio.notes.begin(), audio.notes.end());
    }
    std::vector<StoredAs> renamed;
    if (takesFiles) {
        const UniqueFd data(::openat(bag_.folder.Get(), archive::kFilesFolder,
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (const int failed = data ? StoreUtf8Names(io_, data.Get(), record, renamed) : errno) {
            return Fail(outcome, files, failed, "Cannot rename in");
        }
    }
    if (image) {
        record.fill = nullptr;
        if (const int failed = image->Close(record.files)) {
            outcome.targetFull = IsTargetFull(failed);
            return Fail(outcome, BuildingPath() + "/" + archive::kImageFolder, failed,
                        "Cannot write");
        }
    }
    imageEnd.imageCut = imageStopped || (image && image->TargetFull());
    imageEnd.filesNotTaken = unopened;
    if (const int failed = WriteTags(request, record, renamed, imageEnd, outcome)) {
        outcome.targetFull = outcome.targetFull || IsTargetFull(failed);
        return Fail(outcome, BuildingPath(), failed, "Cannot write the tag files of");
    }
    // data/ holds the entry of files/ that the copy made: flushed like the bag's own folder.
    const UniqueFd payload(::openat(bag_.folder.Get(), archive::kPayloadFolder,
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!payload || io_.DataSync(payload.Get()) != 0 || io_.DataSync(bag_.folder.Get()) != 0) {
        return Fail(outcome, BuildingPath(), errno, "Cannot write");
    }
    built_ = true;
    const bool incomplete =
        outcome.damagedFiles > 0 || outcome.budgetSpent || outcome.targetFull || !unopened.empty();
    outcome.result = incomplete ? BagResult::Incomplete : BagResult::Complete;
    return outcome;
}

int BagWriter::WriteTags(const BagRequest& request, ArchiveRecord& record,
                         const std::vector<StoredAs>& renamed, const archive::BagEnd& image,
                         BagOutcome& outcome) {
    std::set<std::string> dropped;
    for (;;) {
        outcome.bytes = 0;
        for (const ArchivedFile& file : record.files) outcome.bytes += file.size;
        outcome.damagedFiles = archive::DamagedCount(record.files, record.unread);
        // The disc's files: its image and map are the bag's, not files on the disc.
        outcome.files = static_cast<std::uint64_t>(
            std::count_if(record.files.begin(), record.files.end(), [](const ArchivedFile& file) {
                // An audio CD's tracks are its files; their cue sheet and table are not.
                return file.folder == archive::kFilesFolder ||
                       (file.folder == archive::kAudioFolder && file.path.ends_with(".flac"));
            }));
        archive::BagEnd end = image;
        end.budgetSpent = outcome.budgetSpent;
        end.targetFull = outcome.targetFull;
        end.notCopied = outcome.summary;
        for (const StoredAs& entry : renamed) {
            if (dropped.count(entry.stored) != 0) continue;
            end.notes.emplace_back(archive::kFieldRenamed,
                                   archive::ManifestPath(entry.stored) + " <- " +
                                       archive::ManifestPath(entry.original));
        }
        end.ended = LocalTimeAt(std::time(nullptr));
        const BagFields info =
            archive::BagInfoFields(request.label, request.fields, record.files, record.unread, end);
        std::vector<archive::TagFile> tags =
            archive::TagFiles(record.files, record.unread, info,
                              [](std::string_view text) { return Sha256Of(text); });
        std::erase_if(tags,
                      [](const archive::TagFile& tag) { return tag.first == kDeclarationName; });
        int failed = 0;
        std::uint64_t room = 0;
        for (const auto& [name, text] : tags) {
            room += Blocks(text.size());
            if (!failed) failed = WriteTagFile(name, text);
        }
        if (!failed) return 0;
        // The disk filled up at the last file, or the tag files' few blocks were the last
        // straw: the last whole files give up their room, and the bag keeps the rest.
        if (!IsTargetFull(failed) || record.files.empty()) return failed;
        for (const auto& [name, text] : tags) ::unlinkat(bag_.folder.Get(), name.c_str(), 0);
        outcome.targetFull = true;
        std::uint64_t freed = 0;
        while (!record.files.empty() && freed < room) {
            const std::string path =
                std::string(record.files.back().folder) + "/" + record.files.back().path;
            if (::unlinkat(bag_.folder.Get(), path.c_str(), 0) != 0 && errno != ENOENT) {
                return failed;
            }
            freed += Blocks(record.files.back().size);
            dropped.insert(record.files.back().path);
            record.files.pop_back();
        }
    }
}

int BagWriter::WriteTagFile(const std::string& name, const std::string& text) {
    const UniqueFd fd(::openat(bag_.folder.Get(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd) return errno;
    if (const int error = WriteAll(io_, fd.Get(), text.data(), text.size(), 0)) return error;
    return io_.DataSync(fd.Get()) == 0 ? 0 : errno;
}

BagWriter::Published BagWriter::Publish(const std::string& name, int* error) {
    const auto failed = [&](int number) {
        if (error) *error = number;
        return Published::Failed;
    };
    if (!built_) return failed(ENOENT);
    if (!IsSafeEntryName(name)) return failed(EINVAL);
    // The lock stays until the bag has its name: without it, a writer that cannot see this
    // process (a machine cloned from the same image, another time namespace) would take the
    // folder for a dead writer's leftover and remove the finished bag.
    if (io_.RenameNoReplace(target_.Get(), bag_.name.c_str(), target_.Get(), name.c_str()) != 0) {
        if (errno == EEXIST || errno == ENOTEMPTY) return Published::NameTaken;
        return failed(errno);
    }
    // The finished bag holds nothing of its writer.
    if (bag_.lock) ::unlinkat(bag_.folder.Get(), kBagLockName, 0);
    ::unlinkat(bag_.folder.Get(), kReadOnFromName, 0);
    bag_ = BagFolder{};
    built_ = false;
    // The bag stands under its name, whole: a failed flush of the folder only means that a
    // power cut could still take the name back.
    io_.DataSync(target_.Get());
    return Published::Done;
}

BagWriter::Published BagWriter::PublishOver(const std::string& name, int* error) {
    if (!built_ || !IsSafeEntryName(name)) {
        if (error) *error = built_ ? EINVAL : ENOENT;
        return Published::Failed;
    }
    if (::renameat2(target_.Get(), bag_.name.c_str(), target_.Get(), name.c_str(),
                    RENAME_EXCHANGE) != 0) {
        if (error) *error = errno;
        return errno == ENOENT ? Published::NameTaken : Published::Failed;
    }
    // The lock goes with the temporary name: the earlier bag there is a dead writer's leftover
    // should the removal below not finish.
    ::renameat(target_.Get(), (name + "/" + kBagLockName).c_str(), target_.Get(),
               (bag_.name + "/" + kBagLockName).c_str());
    ::unlinkat(target_.Get(), (name + "/" + kReadOnFromName).c_str(), 0);
    io_.DataSync(target_.Get());
    built_ = false;
    Discard();
    return Published::Done;
}

}  // namespace dravolin::lnx
