#pragma once
#include "archive/RescueMap.h"
#include "platform/linux/copy/ArchiveRecord.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/order/DiscTree.h"

namespace dravolin::lnx {

// Takes the files of a disc out of its image by where its file system's library says their
// bytes lie, for an image no kernel here mounts (no loop device, no UDisks2, a container whose
// kernel lacks the file system): `tree` as the layout helper read it from the image open at
// `image`, the files written below the folder open at `files` (a bag's data/files/, new and
// empty) in the order their bytes lie. The names are the disc's under the copy's rules (a name
// that could climb out of the folder is left out and counted; links and special files are never
// made), each file hashed as written, its damage the bytes `map` does not hold as read. A file
// whose bytes the tree does not place, or whose name another entry took, is listed unread in
// `record`; a failure of the image's or the target's disk ends the copy, recorded there too.
// Progress goes to `prompts`, whose false cancels.
TreeCopier::Result CopyFilesFromTree(CopyIo& io, CopyPrompts& prompts, int image,
                                     const archive::RescueMap& map, const DiscTree& tree, int files,
                                     ArchiveRecord& record);

}  // namespace dravolin::lnx
