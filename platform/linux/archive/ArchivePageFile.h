#pragma once
#include <string>
#include "archive/PageTexts.h"

namespace dravolin::lnx {

// Writes the target folder's index.html anew (archive::ArchivePage) from its log, its bags and
// the reports of their checks, through a temporary file renamed over the old page. Writers of
// one folder's page, in every program, take turns on a byte of the folder's claims file that no
// disc's claim reaches, so a page gathered earlier never replaces one gathered later. False
// where the page could not be written.
bool WriteArchivePage(const std::string& target, const archive::PageTexts& texts);

}  // namespace dravolin::lnx
