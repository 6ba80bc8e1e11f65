#pragma once
#include <string>
#include "archive/PageTexts.h"

namespace dravolin::win32 {

// Writes the target folder's index.html anew (archive::ArchivePage) from its log, its bags and
// the reports of their checks, replacing the old page only once the new one is whole. Writers
// of one folder's page, in every program and on Linux alike, take turns (TakePageTurn), so a
// page gathered earlier never replaces one gathered later. `target` as TargetOf gives it. False
// where the page could not be written.
bool WriteArchivePage(const std::wstring& target, const archive::PageTexts& texts);

}  // namespace dravolin::win32
