#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include "platform/linux/copy/ArchiveRecord.h"

namespace dravolin::lnx {

// The text of a BagIt bag's tag files (version 1.0, UTF-8), from what an archive copy wrote.
// Paths are the payload's, "data/" and the path below the disc's root.

using BagFields = std::vector<std::pair<std::string, std::string>>;

// A payload path as manifests write it: CR, LF and '%' percent-encoded, nothing else.
std::string ManifestPath(std::string_view relative);

std::string BagDeclaration();
// "HASH  data/path" per file, in the order written: what `sha256sum -c` reads.
std::string PayloadManifest(const std::vector<ArchivedFile>& files);
// One line per damaged range: "data/path BEGIN-END", the end excluded ([BEGIN, END)); then one
// per file or folder of the disc that could not be read at all, and so is not in the bag:
// "data/path not copied: REASON".
std::string DamagedFilesText(const std::vector<ArchivedFile>& files,
                             const std::vector<UnreadEntry>& unread);
// "BYTES.FILES" of the payload.
std::string PayloadOxum(const std::vector<ArchivedFile>& files);
// "Label: value" lines; line breaks in a value become blanks, a label keeps no ':'.
std::string BagInfo(const BagFields& fields);
// "YYYY-MM-DD" in local time, as Bagging-Date wants it.
std::string BaggingDate(std::time_t when);
// "YYYY-MM-DDTHH:MM:SS+hhmm" in local time.
std::string LocalTimestamp(std::time_t when);

}  // namespace dravolin::lnx
