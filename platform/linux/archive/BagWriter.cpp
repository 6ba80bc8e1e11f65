#include "platform/linux/archive/BagWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include "platform/linux/archive/LocalClock.h"
#include "platform/linux/archive/Utf8Payload.h"
#include "platform/linux/copy/SafeName.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/paths/Folders.h"

namespace dravolin::lnx {

namespace {

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

bool IsTargetFull(int error) {
    return error == ENOSPC || error == EDQUOT;
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
    if (::mkdirat(bag_.folder.Get(), "data", 0777) != 0) {
        return Fail(outcome, BuildingPath(), errno, "Cannot create a folder in");
    }

    ArchiveRecord record;
    BudgetedPrompts prompts(prompts_, request.readUntil);
    TreeCopier copier(io_, prompts, record);
    const TreeCopier::Result copied = copier.Copy(request.discRoot, BuildingPath() + "/data");
    outcome.summary = copied.summary;
    // What a spent budget or a full disk stopped is a bag of what was written: every file in
    // it is whole, and the few tag files fit where the unfinished file was.
    outcome.budgetSpent = prompts.Spent() && !record.failure;
    outcome.targetFull = record.failure && IsTargetFull(record.failure->errorNumber);
    const bool stopped = outcome.budgetSpent || outcome.targetFull;
    if (copied.outcome != CopyOutcome::Completed && !stopped) {
        outcome.failure = record.failure;
        outcome.cancelled = !record.failure;
        Discard();
        return outcome;
    }
    std::vector<StoredAs> renamed;
    const UniqueFd data(
        ::openat(bag_.folder.Get(), "data", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (const int failed = data ? StoreUtf8Names(io_, data.Get(), record, renamed) : errno) {
        return Fail(outcome, BuildingPath() + "/data", failed, "Cannot rename in");
    }
    for (const ArchivedFile& file : record.files) outcome.bytes += file.size;
    outcome.damagedFiles = archive::DamagedCount(record.files, record.unread);
    outcome.files = record.files.size();
    const bool incomplete = outcome.damagedFiles > 0 || stopped;

    archive::BagEnd end;
    end.budgetSpent = outcome.budgetSpent;
    end.targetFull = outcome.targetFull;
    end.notCopied = outcome.summary;
    for (const StoredAs& entry : renamed) {
        end.notes.emplace_back(
            archive::kFieldRenamed,
            archive::ManifestPath(entry.stored) + " <- " + archive::ManifestPath(entry.original));
    }
    end.ended = LocalTimeAt(std::time(nullptr));
    const BagFields info =
        archive::BagInfoFields(request.label, request.fields, record.files, record.unread, end);
    const std::vector<archive::TagFile> tags = archive::TagFiles(
        record.files, record.unread, info, [](std::string_view text) { return Sha256Of(text); });
    for (const auto& [name, text] : tags) {
        if (const int failed = WriteTagFile(name, text)) {
            outcome.targetFull = IsTargetFull(failed);
            return Fail(outcome, BuildingPath() + "/" + name, failed, "Cannot write");
        }
    }
    if (io_.DataSync(bag_.folder.Get()) != 0) {
        return Fail(outcome, BuildingPath(), errno, "Cannot write");
    }
    built_ = true;
    outcome.result = incomplete ? BagResult::Incomplete : BagResult::Complete;
    return outcome;
}

int BagWriter::WriteTagFile(const std::string& name, const std::string& text) {
    const UniqueFd fd(::openat(bag_.folder.Get(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd) return errno;
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = io_.Write(fd.Get(), text.data() + written, text.size() - written,
                                    static_cast<off_t>(written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        written += static_cast<std::size_t>(n);
    }
    return io_.DataSync(fd.Get()) == 0 ? 0 : errno;
}

BagWriter::Published BagWriter::Publish(const std::string& name, int* error) {
    const auto failed = [&](int number) {
        if (error) *error = number;
        return Published::Failed;
    };
    if (!built_) return failed(ENOENT);
    if (!IsSafeEntryName(name)) return failed(EINVAL);
    if (bag_.lock) {
        // The finished bag holds nothing of its writer. Without the lock file, the folder is
        // still this process's by its name: no cleaner takes it while this process runs.
        if (::unlinkat(bag_.folder.Get(), kBagLockName, 0) != 0) return failed(errno);
        bag_.lock.Reset();
        if (io_.DataSync(bag_.folder.Get()) != 0) return failed(errno);
    }
    if (io_.RenameNoReplace(target_.Get(), bag_.name.c_str(), target_.Get(), name.c_str()) != 0) {
        if (errno == EEXIST || errno == ENOTEMPTY) return Published::NameTaken;
        return failed(errno);
    }
    bag_ = BagFolder{};
    built_ = false;
    // The bag stands under its name, whole; only the name may not yet be on the disk.
    if (io_.DataSync(target_.Get()) != 0) return failed(errno);
    return Published::Done;
}

}  // namespace dravolin::lnx
