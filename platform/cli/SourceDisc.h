#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::cli {

// What the archiver was asked to read, and what it knows of it before it copies.
struct SourceDisc {
    // A drive's device node: the disc is mounted as the dialog mounts it. Otherwise a folder
    // whose files are bagged as they are.
    bool isDrive = false;
    std::string folder;  // a folder source, absolute, links resolved
    // An ISO 9660 or UDF image file, absolute, links resolved: read into the bag's image, its
    // files taken out of that, as a drive's disc is.
    std::string imageFile;
    // A disc image that libcdio's image drivers read (a BIN/CUE sheet, a cdrdao TOC file),
    // absolute, links resolved: its audio tracks ripped, its data tracks read into the bag's
    // image, as a drive's disc is.
    std::string cdImage;
    const lnx::OpticalDrive* drive = nullptr;  // the drive, or where the folder's disc sits
    std::string label;
    // The disc's fingerprint as the dialog reads it. A folder that is no disc's mount point
    // gets one of its tree (names, kinds, sizes, modification times): the same folder unchanged
    // is the same disc, and any change makes it another.
    std::uint32_t fingerprint = 0;
    // The disc's identity as the dialog reads it (archive/SameDisc.h); for a folder that is no
    // disc's mount point, FolderDigest: the same content is the same disc, whatever its times.
    std::string identity;
};

struct SourceProblem {
    enum class Kind {
        Unreadable,  // stat failed, or a CD image's table of contents (EIO): `error`
        NotASource,  // neither a folder, an optical drive's device nor a disc image
    };
    Kind kind = Kind::Unreadable;
    int error = 0;
};

// Reads what `source` names, `drives` the machine's optical drives and `mountInfo` the mount
// table (/proc/self/mountinfo). Set problem when it names nothing the archiver can read.
std::optional<SourceDisc> FindSource(const std::string& source, const lnx::OpticalDrives& drives,
                                     const std::string& mountInfo, SourceProblem& problem);

// The SHA-256 of a folder's whole content: every entry's path below it and kind, a file's
// bytes, a link's target. Empty when any of it cannot be read: such a folder is never taken
// for one archived before.
std::string FolderDigest(const std::string& folder);

// The fingerprint of a folder's tree: never 0 and never 0xFFFFFFFF, like a disc's.
std::uint32_t FolderFingerprint(const std::string& folder);

}  // namespace dravolin::cli
