#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include "archive/BagRecord.h"
#include "archive/LocalTime.h"

namespace dravolin::archive {

// The text of a BagIt bag's tag files (version 1.0, UTF-8), from what an archive copy wrote.
// Paths are the payload's, "data/files/" and the path below the disc's root.

// bag-info.txt's lines, label and value, in order.
using InfoFields = std::vector<std::pair<std::string, std::string>>;

// Fields the writers add to bag-info.txt after the caller's.
inline constexpr char kFieldResult[] = "Dravolin-Result";
inline constexpr char kFieldDamagedFiles[] = "Dravolin-Damaged-Files";
inline constexpr char kFieldEnded[] = "Dravolin-Ended";
inline constexpr char kFieldStopped[] = "Dravolin-Stopped";
inline constexpr char kFieldNotCopied[] = "Dravolin-Not-Copied";
// The disc's identity (SameDisc.h), by which a complete bag counts as its disc's even when the
// log lost its row.
inline constexpr char kFieldIdentity[] = "Dravolin-Disc-Identity";
// One per file or folder stored under another name: "data/files/new <- data/files/old".
inline constexpr char kFieldRenamed[] = "Dravolin-Renamed";
// How the files were taken out of the disc's image where the kernel could not mount it.
inline constexpr char kFieldFilesTaken[] = "Dravolin-Files-Taken";
// One line per read of the disc into the bag's image: when, which drive, how many bytes it read
// that no earlier read had.
inline constexpr char kFieldRead[] = "Dravolin-Read";

// A payload path as manifests write it, so that RFC 8493, bagit-python and `sha256sum -c` all
// read the same name: CR, LF, a '%' followed by two hexadecimal digits, and each byte that is
// not UTF-8 are percent-encoded ("%0D", "%0A", "%25", "%E9"); nothing else. Readers other than
// RFC 8493's cannot find a name with any of these.
std::string ManifestPath(std::string_view relative, std::string_view folder = kFilesFolder);

std::string BagDeclaration();
// "HASH  data/files/path" per file, in the order written: what `sha256sum -c` reads.
std::string PayloadManifest(const std::vector<ArchivedFile>& files);
// One line per damaged range: "data/files/path BEGIN-END", the end excluded ([BEGIN, END)); an
// audio track's ranges are of its samples, "data/audio/track01.flac M:SS.mmm-M:SS.mmm samples
// BEGIN-END"; then
// one per file or folder of the disc that could not be read at all, and so is not in the bag:
// "data/files/path not copied: REASON".
std::string DamagedFilesText(const std::vector<ArchivedFile>& files,
                             const std::vector<UnreadEntry>& unread);
// "BYTES.FILES" of the payload.
std::string PayloadOxum(const std::vector<ArchivedFile>& files);
// "Label: value" lines; line breaks in a value become blanks, a label keeps no ':', and bytes
// that are not UTF-8 (a disc's label) become U+FFFD.
std::string BagInfo(const InfoFields& fields);
// The "Label: value" lines of a bag-info.txt, in order; other lines are left out.
InfoFields ParseBagInfo(std::string_view text);

// Files with damaged ranges, and entries not copied at all.
std::uint64_t DamagedCount(const std::vector<ArchivedFile>& files,
                           const std::vector<UnreadEntry>& unread);

// How the copy of a disc ended, for bag-info.txt.
struct BagEnd {
    bool budgetSpent = false;  // the disc's time budget stopped the copy
    bool targetFull = false;   // the target disk's space did
    bool imageCut = false;     // either stopped the disc's read into its image
    std::string notCopied;     // what the disc held that no bag takes; empty when nothing
    // Why the disc's files could not be taken out of its image, which the bag then holds alone;
    // empty when they were, or when there was no image.
    std::string filesNotTaken;
    InfoFields notes;  // the platform's own lines, written before Dravolin-Ended
    LocalTime ended;   // when the copy ended: Bagging-Date and Dravolin-Ended
};

// bag-info.txt's fields: Bagging-Date, Payload-Oxum, External-Identifier (the label), the
// caller's, then the result, the count of damaged files, why the copy stopped early, what was
// not copied, the notes and when the copy ended (IsoText, as the log writes it). Any damage or
// early stop makes the bag "incomplete".
InfoFields BagInfoFields(std::string_view label, const InfoFields& callers,
                         const std::vector<ArchivedFile>& files,
                         const std::vector<UnreadEntry>& unread, const BagEnd& end);

// A tag file's name and text.
using TagFile = std::pair<std::string, std::string>;

// The tag files in the order they are written: bagit.txt, manifest-sha256.txt, bag-info.txt,
// damaged-files.txt when anything is damaged, and tagmanifest-sha256.txt over them, last.
// `sha256` gives the lowercase hex digest of a text.
std::vector<TagFile> TagFiles(const std::vector<ArchivedFile>& files,
                              const std::vector<UnreadEntry>& unread, const InfoFields& info,
                              const std::function<std::string(std::string_view)>& sha256);

}  // namespace dravolin::archive
