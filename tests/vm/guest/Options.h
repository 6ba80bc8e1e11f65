#pragma once
#include <optional>
#include <string>
#include <vector>
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::vm {

// The guest program's command line:
//   --tick D,E            drives ticked at the start
//   --target PATH         the target folder typed into the dialog
//   --on-exists replace|replace-all|skip|skip-all|cancel
//   --on-error skip|cancel
//   --interval MS         poll period; the dialog's own timer period when absent
//   --store DIR           the per-user store folder
//   --mount-root DIR      where discs are mounted
struct Options {
    std::vector<char> tick;
    std::string target;
    lnx::ReplaceDecision onExists = lnx::ReplaceDecision::Skip;
    lnx::ErrorDecision onError = lnx::ErrorDecision::Skip;
    unsigned intervalMs = 0;
    std::string store = "/run/store";
    std::string mountRoot = "/mnt/discs";
};

// Letters "D,E" or "DE" (upper-cased); nullopt when anything else is in the list.
std::optional<std::vector<char>> ParseLetters(const std::string& text);
// The options, or an error message.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace dravolin::vm
