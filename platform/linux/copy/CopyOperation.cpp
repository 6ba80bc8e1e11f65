#include "platform/linux/copy/CopyOperation.h"

#include <cerrno>
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/io/ErrorText.h"

namespace dravolin::lnx {

CopyOperation::CopyOperation(CopyIo& io, CopyPrompts& prompts)
    : io_(io),
      prompts_(prompts),
      data_(io),
      recovering_(io),
      owner_(ThisProcess()),
      random_(std::random_device{}()) {}

CopyOperation::CopyOperation(CopyIo& io, CopyPrompts& prompts, ArchiveRecord& record)
    : CopyOperation(io, prompts) {
    archive_ = &record;
}

bool CopyOperation::Cancelled() {
    if (!stopped_ && CancelRequested()) stopped_ = true;
    return stopped_;
}

bool CopyOperation::Report() {
    if (Cancelled()) return false;
    if (!prompts_.OnProgress(progress_)) stopped_ = true;
    return !Cancelled();
}

ErrorDecision CopyOperation::AskError(const std::string& path, int errorNumber,
                                      const std::string& what) {
    return AskFailure(
        CopyFailure{path, errorNumber, what + " " + path + ": " + ErrorText(errorNumber)});
}

ErrorDecision CopyOperation::AskFailure(const CopyFailure& failure) {
    if (Cancelled()) return ErrorDecision::Cancel;
    if (archive_) {
        if (!archive_->failure) archive_->failure = failure;
        anyFailure_ = stopped_ = true;
        return ErrorDecision::Cancel;
    }
    const ErrorDecision decision = prompts_.AskError(failure);
    if (decision == ErrorDecision::Cancel) stopped_ = true;
    if (decision == ErrorDecision::Skip) anyFailure_ = true;
    return Cancelled() ? ErrorDecision::Cancel : decision;
}

ErrorDecision CopyOperation::AskDiscFailure(const CopyFailure& failure) {
    if (!archive_) return AskFailure(failure);
    if (Cancelled()) return ErrorDecision::Cancel;
    archive_->unread.push_back(UnreadEntry{failure.path, failure.text});
    return ErrorDecision::Skip;
}

ErrorDecision CopyOperation::AskDiscError(const std::string& path, int errorNumber,
                                          const std::string& what) {
    return AskDiscFailure(
        CopyFailure{path, errorNumber, what + " " + path + ": " + ErrorText(errorNumber)});
}

ReplaceDecision CopyOperation::AskReplace(const ReplaceQuestion& question) {
    if (Cancelled()) return ReplaceDecision::Cancel;
    if (replaceAll_) return ReplaceDecision::Replace;
    if (skipAll_) return ReplaceDecision::Skip;
    if (archive_) {
        AskFailure(CopyFailure{question.targetPath, EEXIST,
                               "Will not replace " + question.targetPath + " in an archive."});
        return ReplaceDecision::Cancel;
    }
    ReplaceDecision decision = prompts_.AskReplace(question);
    if (decision == ReplaceDecision::ReplaceAll) {
        replaceAll_ = true;
        decision = ReplaceDecision::Replace;
    } else if (decision == ReplaceDecision::SkipAll) {
        skipAll_ = true;
        decision = ReplaceDecision::Skip;
    } else if (decision == ReplaceDecision::Cancel) {
        stopped_ = true;
    }
    return Cancelled() ? ReplaceDecision::Cancel : decision;
}

void CopyOperation::SkipFile(std::uint64_t bytes) {
    progress_.filesDone += 1;
    progress_.bytesDone += bytes;
}

std::string CopyOperation::TempName() {
    return lnx::TempName(owner_, random_());
}

}  // namespace dravolin::lnx
