#include "platform/linux/copy/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/FileLocks.h"

namespace dravolin::lnx {

namespace {

constexpr int kTempAttempts = 16;

// The copy is the user's file: readable and writable by its owner, never set-id or sticky,
// whatever the disc said. The process's umask applies as for any new file.
mode_t TargetMode(mode_t source) {
    return (source & 0777) | S_IRUSR | S_IWUSR;
}

// What to do before writing: write (replacing or not), or not at all.
enum class Plan { Write, Replace, Skip, Cancel };

Plan PlanFor(CopyOperation& operation, const OpenFolder& open, const SourceNode& file) {
    const FolderPlace& folder = *open.place;
    for (;;) {
        struct stat existing {};
        if (::fstatat(open.target, file.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return Plan::Write;
            const ErrorDecision d =
                operation.AskError(TargetOf(folder, file), errno, "Cannot examine");
            if (d == ErrorDecision::Retry) continue;
            return d == ErrorDecision::Cancel ? Plan::Cancel : Plan::Skip;
        }
        if (S_ISDIR(existing.st_mode)) {
            const ErrorDecision d =
                operation.AskError(TargetOf(folder, file), EISDIR, "A folder stands in the way of");
            if (d == ErrorDecision::Retry) continue;
            return d == ErrorDecision::Cancel ? Plan::Cancel : Plan::Skip;
        }
        switch (operation.AskReplace(QuestionFor(folder, file, existing))) {
            case ReplaceDecision::Replace:
            case ReplaceDecision::ReplaceAll:
                return Plan::Replace;
            case ReplaceDecision::Cancel:
                return Plan::Cancel;
            default:
                return Plan::Skip;
        }
    }
}

// The bytes of one file: for an archive copy read with recovery and hashed, its account in
// `archived` once written in full; else as they are.
FileData::Result CopyBytes(CopyOperation& operation, int in, int out, std::uint64_t size,
                           bool sparse, const std::string& path,
                           const std::function<bool(std::uint64_t)>& onBlock,
                           std::optional<ArchivedFile>& archived) {
    if (!operation.Archive()) return operation.Data().Copy(in, out, size, sparse, onBlock);
    RecoveringRead::Result read =
        operation.Recovering().Copy(in, out, size, onBlock, operation.Archive()->fill);
    FileData::Result result;
    result.ok = read.ok;
    result.cancelled = read.cancelled;
    result.errorNumber = read.errorNumber;
    result.readFailed = result.changed = read.changed;
    if (read.ok) {
        archived = ArchivedFile{path, size, std::move(read.sha256), std::move(read.damaged)};
    }
    return result;
}

void RemoveTemp(const OpenFolder& folder, const std::string& temp) {
    ::unlinkat(folder.target, temp.c_str(), 0);
}

}  // namespace

Flow AddFile(CopyOperation& operation, const OpenFolder& folder, const SourceNode& file,
             CopyBatch& batch) {
    operation.Progress().currentFile = RelativeOf(*folder.place, file);
    if (!operation.Report()) return Flow::Cancel;
    // A folder the copy made held nothing: what another copy puts there meanwhile is met by
    // the rename, which never replaces unasked.
    const Plan plan = folder.place->created ? Plan::Write : PlanFor(operation, folder, file);
    if (plan == Plan::Cancel) return Flow::Cancel;
    if (plan == Plan::Skip) {
        operation.SkipFile(file.size);
        return Flow::Continue;
    }
    if (WriteTemp(operation, folder, file, plan == Plan::Replace, batch) ==
        WriteOutcome::Cancelled) {
        return Flow::Cancel;
    }
    return batch.Full() ? batch.Commit() : Flow::Continue;
}

WriteOutcome WriteTemp(CopyOperation& operation, const OpenFolder& folder, const SourceNode& file,
                       bool mayReplace, CopyBatch& batch) {
    const FolderPlace& place = *folder.place;
    CopyProgress& progress = operation.Progress();
    const std::uint64_t bytesBefore = progress.bytesDone;
    for (;;) {
        progress.bytesDone = bytesBefore;
        int error = 0;
        bool changed = false;
        std::string what = "Cannot open";
        std::string path = RelativeOf(place, file);
        UniqueFd in(::openat(folder.source, file.name.c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!in || ::fstat(in.Get(), &st) != 0) {
            error = errno;
        } else if (!S_ISREG(st.st_mode)) {
            ++operation.Skipped().special;  // it changed since the scan
            operation.SkipFile(file.size);
            return WriteOutcome::Skipped;
        } else {
            std::string temp;
            UniqueFd out;
            int created = 0;
            for (int attempt = 0; attempt < kTempAttempts && !out; ++attempt) {
                temp = operation.TempName();
                // EEXIST also when another copy cleaning the folder took the file for abandoned
                // before its lock was held: it is written under another name.
                out = CreateLockedFile(folder.target, temp, O_WRONLY, TargetMode(st.st_mode),
                                       created);
                if (!out && created != EEXIST) break;
            }
            if (!out) {
                error = created;
                what = "Cannot create a file in";
                path = place.targetPath;
            } else {
                const auto size = static_cast<std::uint64_t>(st.st_size);
                const bool sparse = static_cast<std::uint64_t>(st.st_blocks) * 512 < size;
                std::optional<ArchivedFile> archived;
                const FileData::Result copied = CopyBytes(
                    operation, in.Get(), out.Get(), size, sparse, path,
                    [&](std::uint64_t bytes) {
                        progress.bytesDone += bytes;
                        return operation.Report();
                    },
                    archived);
                if (copied.ok) {
                    const timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
                    ::futimens(out.Get(), times);
                    progress.bytesDone = bytesBefore + file.size;
                    progress.filesDone += 1;
                    batch.Add(folder.target, WrittenFile{file, folder.place, temp, mayReplace, 0,
                                                         std::move(out), std::move(archived)});
                    return WriteOutcome::Written;
                }
                RemoveTemp(folder, temp);
                if (copied.cancelled) {
                    progress.bytesDone = bytesBefore;
                    return WriteOutcome::Cancelled;
                }
                error = copied.errorNumber;
                changed = copied.changed;
                what = copied.readFailed ? "Cannot read" : "Cannot write";
                if (!copied.readFailed) path = TargetOf(place, file);
            }
        }
        // A file that shrank or grew while it was read is never put in place short: it is
        // read again on Retry, as it is then.
        // Only what the target refused ends an archive copy; the disc's own faults are listed.
        const bool disc = path == RelativeOf(place, file);
        const CopyFailure failure =
            changed
                ? CopyFailure{path, EIO, what + " " + path + ": it changed while it was copied."}
                : CopyFailure{path, error, what + " " + path + ": " + ErrorText(error)};
        const ErrorDecision d =
            disc ? operation.AskDiscFailure(failure) : operation.AskFailure(failure);
        if (d == ErrorDecision::Retry) continue;
        progress.bytesDone = bytesBefore;
        if (d == ErrorDecision::Cancel) return WriteOutcome::Cancelled;
        operation.SkipFile(file.size);
        return WriteOutcome::Skipped;
    }
}

}  // namespace dravolin::lnx
