#pragma once
#include <string>
#include "platform/CodePage.h"
#include "platform/PathPreparer.h"

namespace dravolin {

class CCopyDlg;

// Trims, validates and terminates a target folder path in place; with `prepare`, also makes the
// folder ready for writing, prompts owned by `owner` (0 for none). UI thread only.
bool NormalizeDestination(std::string& path, const CodePage& codePage, PathPreparer& preparer,
                          WindowHandle owner, bool prepare);
// The same with the dialog's services and window as owner.
bool NormalizeDestination(std::string& path, CCopyDlg& dialog, bool prepare);

}  // namespace dravolin
