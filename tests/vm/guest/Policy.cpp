#include "Policy.h"

namespace dravolin::vm {

using lnx::CopyOutcome;
using lnx::ErrorDecision;
using lnx::ReplaceDecision;

ReplaceDecision Policy::OnExists() const {
    std::lock_guard lock(mutex_);
    return onExists_;
}

ErrorDecision Policy::OnError() const {
    std::lock_guard lock(mutex_);
    return onError_;
}

void Policy::SetOnExists(ReplaceDecision decision) {
    std::lock_guard lock(mutex_);
    onExists_ = decision;
}

void Policy::SetOnError(ErrorDecision decision) {
    std::lock_guard lock(mutex_);
    onError_ = decision;
}

std::optional<ReplaceDecision> ParseReplace(const std::string& word) {
    if (word == "replace") return ReplaceDecision::Replace;
    if (word == "replace-all") return ReplaceDecision::ReplaceAll;
    if (word == "skip") return ReplaceDecision::Skip;
    if (word == "skip-all") return ReplaceDecision::SkipAll;
    if (word == "cancel") return ReplaceDecision::Cancel;
    return std::nullopt;
}

// Retry is left out on purpose: with nobody to fix the cause it would ask for ever.
std::optional<ErrorDecision> ParseError(const std::string& word) {
    if (word == "skip") return ErrorDecision::Skip;
    if (word == "cancel") return ErrorDecision::Cancel;
    return std::nullopt;
}

std::string Word(ReplaceDecision decision) {
    switch (decision) {
        case ReplaceDecision::Replace:
            return "replace";
        case ReplaceDecision::ReplaceAll:
            return "replace-all";
        case ReplaceDecision::Skip:
            return "skip";
        case ReplaceDecision::SkipAll:
            return "skip-all";
        case ReplaceDecision::Cancel:
            break;
    }
    return "cancel";
}

std::string Word(ErrorDecision decision) {
    switch (decision) {
        case ErrorDecision::Retry:
            return "retry";
        case ErrorDecision::Skip:
            return "skip";
        case ErrorDecision::Cancel:
            break;
    }
    return "cancel";
}

std::string Word(CopyOutcome outcome) {
    switch (outcome) {
        case CopyOutcome::Completed:
            return "completed";
        case CopyOutcome::Cancelled:
            return "cancelled";
        case CopyOutcome::Failed:
            break;
    }
    return "failed";
}

}  // namespace dravolin::vm
