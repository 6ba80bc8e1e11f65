#include "platform/linux/FolderWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace dravolin::lnx {

namespace {

constexpr std::size_t kBatchFiles = 256;
constexpr std::uint64_t kBatchBytes = 64u << 20;
constexpr int kTempAttempts = 16;

// The copy is the user's file: readable and writable by its owner, never set-id or sticky,
// whatever the disc said. The process's umask applies as for any new file.
mode_t TargetMode(mode_t source) {
    return (source & 0777) | S_IRUSR | S_IWUSR;
}

}  // namespace

FolderWriter::FolderWriter(CopySession& session, int sourceFd, int targetFd, std::string targetPath,
                           std::string relativePath)
    : session_(session),
      sourceFd_(sourceFd),
      targetFd_(targetFd),
      targetPath_(std::move(targetPath)),
      relativePath_(std::move(relativePath)) {}

FolderWriter::~FolderWriter() {
    for (const Written& written : pending_) RemoveTemp(written.temp);
}

std::string FolderWriter::RelativeOf(const SourceNode& file) const {
    return relativePath_.empty() ? file.name : relativePath_ + "/" + file.name;
}

void FolderWriter::RemoveTemp(const std::string& temp) {
    ::unlinkat(targetFd_, temp.c_str(), 0);
}

ReplaceQuestion FolderWriter::Question(const SourceNode& file, const struct stat& existing) const {
    ReplaceQuestion question;
    question.targetPath = TargetOf(file);
    question.relativePath = RelativeOf(file);
    question.existingSize = static_cast<std::uint64_t>(existing.st_size);
    question.existingModified = existing.st_mtim.tv_sec;
    question.incomingSize = file.size;
    question.incomingModified = file.modified.tv_sec;
    return question;
}

Flow FolderWriter::Add(const SourceNode& file) {
    CopyProgress& progress = session_.Progress();
    progress.currentFile = RelativeOf(file);
    if (!session_.Report()) return Flow::Cancel;

    bool mayReplace = false;
    for (;;) {
        struct stat existing {};
        if (::fstatat(targetFd_, file.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) break;
            const ErrorDecision d = session_.AskError(TargetOf(file), errno, "Cannot examine");
            if (d == ErrorDecision::Retry) continue;
            if (d == ErrorDecision::Cancel) return Flow::Cancel;
            session_.SkipFile(file.size);
            return Flow::Continue;
        }
        if (S_ISDIR(existing.st_mode)) {
            const ErrorDecision d =
                session_.AskError(TargetOf(file), EISDIR, "A folder stands in the way of");
            if (d == ErrorDecision::Retry) continue;
            if (d == ErrorDecision::Cancel) return Flow::Cancel;
            session_.SkipFile(file.size);
            return Flow::Continue;
        }
        const ReplaceDecision d = session_.AskReplace(Question(file, existing));
        if (d == ReplaceDecision::Cancel) return Flow::Cancel;
        if (d != ReplaceDecision::Replace) {
            session_.SkipFile(file.size);
            return Flow::Continue;
        }
        mayReplace = true;
        break;
    }
    if (WriteTemp(file, mayReplace) == Outcome::Cancelled) return Flow::Cancel;
    if (pending_.size() >= kBatchFiles || pendingBytes_ >= kBatchBytes) return Commit();
    return Flow::Continue;
}

FolderWriter::Outcome FolderWriter::WriteTemp(const SourceNode& file, bool mayReplace) {
    CopyProgress& progress = session_.Progress();
    const std::uint64_t bytesBefore = progress.bytesDone;
    for (;;) {
        progress.bytesDone = bytesBefore;
        int error = 0;
        std::string what = "Cannot open";
        std::string path = RelativeOf(file);
        UniqueFd in(
            ::openat(sourceFd_, file.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!in || ::fstat(in.Get(), &st) != 0) {
            error = errno;
        } else if (!S_ISREG(st.st_mode)) {
            ++session_.Skipped().special;  // it changed since the scan
            session_.SkipFile(file.size);
            return Outcome::Skipped;
        } else {
            std::string temp;
            UniqueFd out;
            for (int attempt = 0; attempt < kTempAttempts && !out; ++attempt) {
                temp = session_.TempName();
                out.Reset(::openat(targetFd_, temp.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                   TargetMode(st.st_mode)));
                if (!out && errno != EEXIST) break;
            }
            if (!out) {
                error = errno;
                what = "Cannot create a file in";
                path = targetPath_;
            } else {
                const FileData::Result copied = session_.Data().Copy(
                    in.Get(), out.Get(), static_cast<std::uint64_t>(st.st_size),
                    [&](std::uint64_t bytes) {
                        progress.bytesDone += bytes;
                        return session_.Report();
                    });
                if (copied.ok) {
                    const timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
                    ::futimens(out.Get(), times);
                    progress.bytesDone = bytesBefore + file.size;
                    progress.filesDone += 1;
                    pendingBytes_ += copied.size;
                    pending_.push_back(Written{&file, std::move(out), temp, mayReplace});
                    return Outcome::Written;
                }
                RemoveTemp(temp);
                if (copied.cancelled) {
                    progress.bytesDone = bytesBefore;
                    return Outcome::Cancelled;
                }
                error = copied.errorNumber;
                what = copied.readFailed ? "Cannot read" : "Cannot write";
                if (!copied.readFailed) path = TargetOf(file);
            }
        }
        const ErrorDecision d = session_.AskError(path, error, what);
        if (d == ErrorDecision::Retry) continue;
        progress.bytesDone = bytesBefore;
        if (d == ErrorDecision::Cancel) return Outcome::Cancelled;
        session_.SkipFile(file.size);
        return Outcome::Skipped;
    }
}

// Once the copy is cancelled, the files already complete are still put in place when that
// needs no question; the others are removed.
Flow FolderWriter::Commit() {
    bool renamed = false;
    while (!pending_.empty()) {
        std::vector<Written> batch = std::move(pending_);
        pending_.clear();
        pendingBytes_ = 0;
        for (Written& written : batch) {
            CommitOne(written, session_.Cancelled());
            renamed = true;
        }
    }
    // The renames themselves last only once the folder is flushed.
    if (renamed) ::fsync(targetFd_);
    return session_.Cancelled() ? Flow::Cancel : Flow::Continue;
}

Flow FolderWriter::CommitOne(Written& written, bool cancelling) {
    const SourceNode& file = *written.file;
    if (session_.Io().DataSync(written.fd.Get()) != 0) {
        const int error = errno;
        RemoveTemp(written.temp);
        if (cancelling) return Flow::Cancel;
        const ErrorDecision d = session_.AskError(TargetOf(file), error, "Cannot write");
        if (d == ErrorDecision::Retry) return Recopy(file, written.mayReplace);
        return d == ErrorDecision::Cancel ? Flow::Cancel : Flow::Continue;
    }
    written.fd.Reset();
    const char* temp = written.temp.c_str();
    const char* name = file.name.c_str();
    bool replace = written.mayReplace;
    for (;;) {
        int rc = replace ? ::renameat(targetFd_, temp, targetFd_, name)
                         : ::renameat2(targetFd_, temp, targetFd_, name, RENAME_NOREPLACE);
        if (rc != 0 && !replace && errno == EINVAL) {
            // A file system without RENAME_NOREPLACE: look, then rename.
            struct stat st {};
            if (::fstatat(targetFd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                errno = EEXIST;
            } else {
                rc = ::renameat(targetFd_, temp, targetFd_, name);
            }
        }
        if (rc == 0) return Flow::Continue;
        const int error = errno;
        struct stat existing {};
        if (error == EEXIST && !cancelling &&
            ::fstatat(targetFd_, name, &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(existing.st_mode)) {
            // Another program (or another copy) made the file since we looked.
            const ReplaceDecision d = session_.AskReplace(Question(file, existing));
            if (d == ReplaceDecision::Replace) {
                replace = true;
                continue;
            }
            RemoveTemp(written.temp);
            return d == ReplaceDecision::Cancel ? Flow::Cancel : Flow::Continue;
        }
        RemoveTemp(written.temp);
        if (cancelling) return Flow::Cancel;
        const ErrorDecision d = session_.AskError(TargetOf(file), error, "Cannot put in place");
        if (d == ErrorDecision::Retry) return Recopy(file, written.mayReplace);
        return d == ErrorDecision::Cancel ? Flow::Cancel : Flow::Continue;
    }
}

Flow FolderWriter::Recopy(const SourceNode& file, bool mayReplace) {
    CopyProgress& progress = session_.Progress();
    progress.filesDone -= 1;
    progress.bytesDone -= file.size;
    // The file is written again and joins the batch being committed.
    return WriteTemp(file, mayReplace) == Outcome::Cancelled ? Flow::Cancel : Flow::Continue;
}

Flow FolderWriter::Finish() {
    return Commit();
}

}  // namespace dravolin::lnx
