#include "platform/linux/CopyBatch.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include "platform/linux/FileWriter.h"

namespace dravolin::lnx {

namespace {

// Enough files and bytes to make the flush cheap per file, few enough bytes that a cancel
// waits little for the flush of what is complete.
constexpr std::size_t kBatchFiles = 4096;
constexpr std::uint64_t kBatchBytes = 64u << 20;

void RemoveTemp(const WrittenFile& written) {
    ::unlinkat(written.folder->target.Get(), written.temp.c_str(), 0);
}

}  // namespace

std::string RelativeOf(const FolderPair& folder, const SourceNode& file) {
    return folder.relativePath.empty() ? file.name : folder.relativePath + "/" + file.name;
}

std::string TargetOf(const FolderPair& folder, const SourceNode& file) {
    return folder.targetPath + "/" + file.name;
}

ReplaceQuestion QuestionFor(const FolderPair& folder, const SourceNode& file,
                            const struct stat& existing) {
    ReplaceQuestion question;
    question.targetPath = TargetOf(folder, file);
    question.relativePath = RelativeOf(folder, file);
    question.existingSize = static_cast<std::uint64_t>(existing.st_size);
    question.existingModified = existing.st_mtim.tv_sec;
    question.incomingSize = file.size;
    question.incomingModified = file.modified.tv_sec;
    return question;
}

CopyBatch::~CopyBatch() {
    for (const WrittenFile& written : pending_) RemoveTemp(written);
}

void CopyBatch::Add(WrittenFile written) {
    pendingBytes_ += written.file->size;
    pending_.push_back(std::move(written));
}

bool CopyBatch::Full() const {
    return pending_.size() >= kBatchFiles || pendingBytes_ >= kBatchBytes;
}

Flow CopyBatch::Commit() {
    while (!pending_.empty()) {
        std::vector<WrittenFile> batch = std::move(pending_);
        pending_.clear();
        pendingBytes_ = 0;
        Flush(batch);
        // A retry after a failed flush writes the file again into pending_; the loop takes it.
        for (WrittenFile& written : batch) CommitOne(written, session_.Cancelled());
    }
    return session_.Cancelled() ? Flow::Cancel : Flow::Continue;
}

void CopyBatch::Flush(std::vector<WrittenFile>& batch) {
    if (batch.empty()) return;
    if (batch.size() > 1 && session_.Io().SyncFileSystem(batch.front().folder->target.Get()) == 0) {
        return;
    }
    for (WrittenFile& written : batch) {
        UniqueFd fd(::openat(written.folder->target.Get(), written.temp.c_str(),
                             O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd || session_.Io().DataSync(fd.Get()) != 0) written.flushError = errno;
    }
}

void CopyBatch::CommitOne(WrittenFile& written, bool cancelling) {
    const SourceNode& file = *written.file;
    const FolderPair& folder = *written.folder;
    const auto retry = [&] {
        CopyProgress& progress = session_.Progress();
        progress.filesDone -= 1;
        progress.bytesDone -= file.size;
        WriteTemp(session_, written.folder, file, written.mayReplace, *this);
    };
    if (written.flushError != 0) {
        RemoveTemp(written);
        if (cancelling) return;
        const ErrorDecision d =
            session_.AskError(TargetOf(folder, file), written.flushError, "Cannot write");
        if (d == ErrorDecision::Retry) retry();
        return;
    }
    const int dir = folder.target.Get();
    const char* temp = written.temp.c_str();
    const char* name = file.name.c_str();
    bool replace = written.mayReplace;
    for (;;) {
        int rc = replace ? ::renameat(dir, temp, dir, name)
                         : ::renameat2(dir, temp, dir, name, RENAME_NOREPLACE);
        if (rc != 0 && !replace && errno == EINVAL) {
            // A file system without RENAME_NOREPLACE: look, then rename.
            struct stat st {};
            if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                errno = EEXIST;
            } else {
                rc = ::renameat(dir, temp, dir, name);
            }
        }
        if (rc == 0) return;
        const int error = errno;
        struct stat existing {};
        if (error == EEXIST && !cancelling &&
            ::fstatat(dir, name, &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(existing.st_mode)) {
            // Another program, or another copy into the same folder, made the file since we
            // looked: the question comes now.
            if (session_.AskReplace(QuestionFor(folder, file, existing)) ==
                ReplaceDecision::Replace) {
                replace = true;
                continue;
            }
            RemoveTemp(written);
            return;
        }
        RemoveTemp(written);
        if (cancelling) return;
        const ErrorDecision d =
            session_.AskError(TargetOf(folder, file), error, "Cannot put in place");
        if (d == ErrorDecision::Retry) retry();
        return;
    }
}

}  // namespace dravolin::lnx
