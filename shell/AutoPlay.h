#pragma once
#include <cstdint>

namespace dravolin {

class CCopyDlg;

inline constexpr const char* kQueryCancelAutoPlay = "QueryCancelAutoPlay";
inline constexpr const char* kCancelAutoplayKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\CancelAutoplay\\"
    "CLSID";
inline constexpr const char* kCancelAutoplayValue = "00000000-0000-0000-0000-000000000000";

// Set-up: registers the query message and writes the machine-wide cancel value. UI thread only.
void ArmAutoPlaySuppression(CCopyDlg& dialog);
// Teardown: deletes the cancel value, leaving its key. UI thread only.
void DisarmAutoPlaySuppression(CCopyDlg& dialog);
// Answers the registered query with 1; false for any other message.
bool AnswerAutoPlayQuery(CCopyDlg& dialog, std::uint32_t message, std::intptr_t* result);

}  // namespace dravolin
