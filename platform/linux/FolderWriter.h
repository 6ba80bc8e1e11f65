#pragma once
#include <sys/stat.h>
#include <string>
#include <vector>
#include "platform/linux/CopySession.h"
#include "platform/linux/SourceTree.h"
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

// Writes the files of one source folder into one target folder. Each file is written under a
// temporary name, flushed, and only then renamed to its real name, so no interruption leaves
// a truncated file under a real name. The flushes are batched: one fdatasync after many
// written files costs about what one costs (the file system commits them together), where a
// flush per file would make a copy of many small files several times slower.
class FolderWriter {
  public:
    FolderWriter(CopySession& session, int sourceFd, int targetFd, std::string targetPath,
                 std::string relativePath);
    // Removes every temporary file not yet renamed into place.
    ~FolderWriter();
    FolderWriter(const FolderWriter&) = delete;
    FolderWriter& operator=(const FolderWriter&) = delete;

    Flow Add(const SourceNode& file);
    // Flushes and renames what is written; when the copy was cancelled, keeps only the files
    // that were complete and needed no question, and removes the rest.
    Flow Finish();

  private:
    struct Written {
        const SourceNode* file;
        UniqueFd fd;
        std::string temp;
        bool mayReplace;  // the user agreed to replace what stands there
    };
    enum class Outcome { Written, Skipped, Cancelled };

    Outcome WriteTemp(const SourceNode& file, bool mayReplace);
    Flow Commit();
    Flow CommitOne(Written& written, bool cancelling);
    Flow Recopy(const SourceNode& file, bool mayReplace);
    void RemoveTemp(const std::string& temp);
    ReplaceQuestion Question(const SourceNode& file, const struct stat& existing) const;
    std::string TargetOf(const SourceNode& file) const { return targetPath_ + "/" + file.name; }
    std::string RelativeOf(const SourceNode& file) const;

    CopySession& session_;
    int sourceFd_;
    int targetFd_;
    std::string targetPath_;
    std::string relativePath_;
    std::vector<Written> pending_;
    std::uint64_t pendingBytes_ = 0;
};

}  // namespace dravolin::lnx
