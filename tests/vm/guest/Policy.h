#pragma once
#include <mutex>
#include <optional>
#include <string>
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::vm {

// How the headless copy answers its questions. Set from the UI thread (command line, console
// commands), read by the copying workers.
class Policy {
  public:
    Policy(lnx::ReplaceDecision onExists, lnx::ErrorDecision onError)
        : onExists_(onExists), onError_(onError) {}

    lnx::ReplaceDecision OnExists() const;
    lnx::ErrorDecision OnError() const;
    void SetOnExists(lnx::ReplaceDecision decision);
    void SetOnError(lnx::ErrorDecision decision);

  private:
    mutable std::mutex mutex_;
    lnx::ReplaceDecision onExists_;
    lnx::ErrorDecision onError_;
};

// The words of the command line and the console: "replace", "skip", "cancel"...
std::optional<lnx::ReplaceDecision> ParseReplace(const std::string& word);
std::optional<lnx::ErrorDecision> ParseError(const std::string& word);
std::string Word(lnx::ReplaceDecision decision);
std::string Word(lnx::ErrorDecision decision);
std::string Word(lnx::CopyOutcome outcome);

}  // namespace dravolin::vm
