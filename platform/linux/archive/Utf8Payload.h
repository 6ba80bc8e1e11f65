#pragma once
#include <string>
#include <vector>
#include "platform/linux/copy/ArchiveRecord.h"
#include "platform/linux/copy/CopyIo.h"

namespace dravolin::lnx {

// A bag's tag files are UTF-8, and its manifest names its files: a disc name that is not UTF-8
// (a Latin-1 Rock Ridge name) cannot stand in the bag as it is. The copy writes every name as
// the disc gives it; before the tag files are written, each entry whose name is not UTF-8 is
// renamed in the bag to its archive::StoredUtf8Names name.

// One entry stored under another name: paths below data/files/, the original as the disc gave it.
struct StoredAs {
    std::string stored;
    std::string original;
};

// Renames what needs it under `data` (the bag's open data/files/ folder), each folder that changed
// flushed, and rewrites the files' paths in `record` to what they are now in the bag (the
// unread entries keep the disc's paths: they are not in the bag). `renamed` gets one entry per
// rename, folders before what they hold. 0, or the errno of the step that failed.
int StoreUtf8Names(CopyIo& io, int data, ArchiveRecord& record, std::vector<StoredAs>& renamed);

}  // namespace dravolin::lnx
