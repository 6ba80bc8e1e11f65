#include "platform/linux/copy/CopyBatch.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <set>
#include <system_error>
#include "platform/linux/copy/FileWriter.h"

namespace dravolin::lnx {

namespace {

// Enough files and bytes to make the flush cheap per file, few enough bytes that a cancel
// waits little for the flush of what is complete (two batches at most: one being flushed, one
// written).
constexpr std::size_t kBatchFiles = 4096;
constexpr std::uint64_t kBatchBytes = 64u << 20;
// Each waiting file holds a descriptor, and a process may run a copy per drive: a copy's two
// batches take at most an eighth of the soft limit (64 files a batch at a desktop session's
// 1024), so four drives at once leave half of it to the rest of the program.
constexpr rlim_t kLimitShare = 16;

std::size_t BatchFilesFor(rlim_t softLimit) {
    if (softLimit == RLIM_INFINITY) return kBatchFiles;
    return static_cast<std::size_t>(std::clamp<rlim_t>(softLimit / kLimitShare, 1, kBatchFiles));
}

// Calls `each(first, last, dir, error)` for every run of files written in one folder, with
// that folder opened again (`dir`), or -1 and the errno when it cannot be.
template <typename Each>
void ForEachFolder(std::vector<WrittenFile>& files, Each each) {
    for (auto first = files.begin(); first != files.end();) {
        const auto last = std::find_if(first, files.end(), [&](const WrittenFile& written) {
            return written.place != first->place;
        });
        const UniqueFd dir = OpenTargetOf(*first->place);
        each(first, last, dir.Get(), dir ? 0 : errno);
        first = last;
    }
}

}  // namespace

UniqueFd OpenSourceOf(const FolderPlace& place) {
    return OpenFolderBelow(place.roots->source.Get(), place.relativePath, place.source);
}

UniqueFd OpenTargetOf(const FolderPlace& place) {
    return OpenFolderBelow(place.roots->target.Get(), place.relativePath, place.target);
}

std::string RelativeOf(const FolderPlace& folder, const SourceNode& file) {
    return folder.relativePath.empty() ? file.name : folder.relativePath + "/" + file.name;
}

std::string TargetOf(const FolderPlace& folder, const SourceNode& file) {
    return folder.targetPath + "/" + file.name;
}

ReplaceQuestion QuestionFor(const FolderPlace& folder, const SourceNode& file,
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

CopyBatch::CopyBatch(CopyOperation& operation) : operation_(operation), maxFiles_(kBatchFiles) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) maxFiles_ = BatchFilesFor(limit.rlim_cur);
}

CopyBatch::~CopyBatch() {
    if (flusher_.joinable()) flusher_.join();
    pending_.insert(pending_.end(), std::make_move_iterator(flying_.begin()),
                    std::make_move_iterator(flying_.end()));
    ForEachFolder(pending_, [](auto first, auto last, int dir, int) {
        for (; dir >= 0 && first != last; ++first) ::unlinkat(dir, first->temp.c_str(), 0);
    });
}

void CopyBatch::Begin(const PlacePtr& root) {
    NoteDisk(root->roots->target.Get(), *root);
}

void CopyBatch::NoteDisk(int target, const FolderPlace& place) {
    if (disks_.count(place.target.device) != 0) return;
    UniqueFd fd(::fcntl(target, F_DUPFD_CLOEXEC, 0));
    if (fd) disks_.emplace(place.target.device, Disk{std::move(fd), place.targetPath});
}

void CopyBatch::Add(int target, WrittenFile written) {
    NoteDisk(target, *written.place);
    pendingBytes_ += written.file.size;
    pending_.push_back(std::move(written));
}

bool CopyBatch::Full() const {
    return pending_.size() >= maxFiles_ || pendingBytes_ >= kBatchBytes;
}

Flow CopyBatch::Commit() {
    Land();
    Launch();
    return operation_.Cancelled() ? Flow::Cancel : Flow::Continue;
}

void CopyBatch::Launch() {
    if (pending_.empty()) return;
    flying_ = std::move(pending_);
    pending_.clear();
    pendingBytes_ = 0;
    flyingFailed_.clear();
    if (flying_.size() == 1) return;
    std::vector<std::pair<dev_t, int>> disks;
    std::set<dev_t> seen;
    for (const WrittenFile& written : flying_) {
        const dev_t device = written.place->target.device;
        if (!seen.insert(device).second) continue;
        const auto disk = disks_.find(device);
        disks.emplace_back(device, disk == disks_.end() ? -1 : disk->second.fd.Get());
    }
    // Helper thread: the flush alone; no question, no progress, nothing else of the copy.
    const auto flush = [this, disks] {
        for (const auto& [device, fd] : disks) {
            if (fd < 0 || operation_.Io().SyncFileSystem(fd) != 0) flyingFailed_.insert(device);
        }
    };
    try {
        flusher_ = std::thread(flush);
    } catch (const std::system_error&) {
        flush();  // no thread to be had: the copy waits for the flush, as it would without one
    }
}

void CopyBatch::Land() {
    if (flusher_.joinable()) flusher_.join();
    if (flying_.empty()) return;
    std::vector<WrittenFile> batch = std::move(flying_);
    flying_.clear();
    if (batch.size() == 1) {
        FlushEach(batch, nullptr);
    } else if (!flyingFailed_.empty()) {
        FlushEach(batch, &flyingFailed_);
    }
    // A retry after a failed flush writes the file again into pending_.
    ForEachFolder(batch, [&](auto first, auto last, int dir, int error) {
        for (; first != last; ++first) CommitOne(*first, dir, error, operation_.Cancelled());
    });
}

Flow CopyBatch::Finish() {
    while (!pending_.empty() || !flying_.empty()) {
        Land();
        Launch();
    }
    Flow flow = operation_.Cancelled() ? Flow::Cancel : Flow::Continue;
    for (const auto& [device, disk] : disks_) {
        while (operation_.Io().SyncFileSystem(disk.fd.Get()) != 0) {
            const int error = errno;
            operation_.MarkFailed();
            const ErrorDecision d =
                operation_.AskError(disk.path, error, "Cannot write the copy to the disk of");
            if (d == ErrorDecision::Cancel) flow = Flow::Cancel;
            if (d != ErrorDecision::Retry) break;
        }
    }
    return operation_.Cancelled() ? Flow::Cancel : flow;
}

void CopyBatch::FlushEach(std::vector<WrittenFile>& batch, const std::set<dev_t>* failed) {
    ForEachFolder(batch, [&](auto first, auto last, int dir, int error) {
        for (; first != last; ++first) {
            if (failed && failed->count(first->place->target.device) == 0) continue;
            if (dir < 0) {
                first->flushError = error;
                continue;
            }
            if (operation_.Io().DataSync(first->fd.Get()) != 0) first->flushError = errno;
        }
    });
}

void CopyBatch::WriteAgain(WrittenFile& written, int dir) {
    CopyProgress& progress = operation_.Progress();
    progress.filesDone -= 1;
    progress.bytesDone -= written.file.size;
    for (;;) {
        const UniqueFd source = OpenSourceOf(*written.place);
        if (source) {
            WriteTemp(operation_, OpenFolder{written.place, source.Get(), dir}, written.file,
                      written.mayReplace, *this);
            return;
        }
        const std::string& folder = written.place->relativePath;
        const ErrorDecision d =
            operation_.AskDiscError(folder.empty() ? "/" : folder, errno, "Cannot open");
        if (d == ErrorDecision::Retry) continue;
        if (d == ErrorDecision::Skip) operation_.SkipFile(written.file.size);
        return;
    }
}

void CopyBatch::CommitOne(WrittenFile& written, int dir, int dirError, bool cancelling) {
    const SourceNode& file = written.file;
    const FolderPlace& folder = *written.place;
    if (dir < 0) {
        // The folder went, or another took its place: the file cannot be reached by name.
        while (!cancelling) {
            const ErrorDecision d =
                operation_.AskError(TargetOf(folder, file), dirError, "Cannot put in place");
            if (d != ErrorDecision::Retry) return;
            const UniqueFd again = OpenTargetOf(folder);
            if (again) return CommitOne(written, again.Get(), 0, cancelling);
            dirError = errno;
        }
        return;
    }
    // Removed while its lock is still held, then let go.
    const auto removeTemp = [&] {
        ::unlinkat(dir, written.temp.c_str(), 0);
        written.fd.Reset();
    };
    if (written.flushError != 0) {
        removeTemp();
        if (cancelling) return;
        const ErrorDecision d =
            operation_.AskError(TargetOf(folder, file), written.flushError, "Cannot write");
        if (d == ErrorDecision::Retry) WriteAgain(written, dir);
        return;
    }
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
        if (rc == 0) {
            written.fd.Reset();
            if (written.archived && operation_.Archive()) {
                operation_.Archive()->files.push_back(std::move(*written.archived));
            }
            return;
        }
        const int error = errno;
        struct stat existing {};
        if (error == EEXIST && !cancelling &&
            ::fstatat(dir, name, &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(existing.st_mode)) {
            // Another program, or another copy into the same folder, made the file since we
            // looked: the question comes now.
            if (operation_.AskReplace(QuestionFor(folder, file, existing)) ==
                ReplaceDecision::Replace) {
                replace = true;
                continue;
            }
            removeTemp();
            return;
        }
        removeTemp();
        if (cancelling) return;
        const ErrorDecision d =
            operation_.AskError(TargetOf(folder, file), error, "Cannot put in place");
        if (d == ErrorDecision::Retry) WriteAgain(written, dir);
        return;
    }
}

}  // namespace dravolin::lnx
