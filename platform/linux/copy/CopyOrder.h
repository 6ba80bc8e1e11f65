#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>
#include "platform/linux/copy/SourceTree.h"
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// A scanned tree in the order its files lie on the disc, for a walk that reads each file once
// without the head going back and forth. It is made of the tree's own nodes, each exactly
// once: what a disc's directories say only sorts them.
struct CopyOrder {
    static constexpr std::size_t kNoFolder = static_cast<std::size_t>(-1);
    struct Entry {
        SourceNode* node;
        std::size_t parent;  // its folder's index in `entries`; kNoFolder for the root
    };
    // The root first, then the tree as a walk in name order meets it.
    std::vector<Entry> entries;
    // Every entry but the root, once, as the copy takes them: files by where their data begin,
    // a folder just before its first file. Files the disc's directories do not place, and
    // folders holding none that they do, come after, in name order.
    std::vector<std::size_t> sequence;
};

// Whether a scanned tree may be copied in any order but names': not when its scan met a
// folder it could not read or would not enter (the copy asks about those as it meets them,
// and the disc's directories are not worth reading again).
bool MayReorder(const SourceNode& root);

// The order of `root`'s files by `starts`. Nullopt where name order stays: a tree that may not
// be reordered, a tree without files, or `starts` that place no more than half of the tree's
// files (then the paths the library reads are not the names the mounted tree shows).
std::optional<CopyOrder> DiscOrderOf(SourceNode& root, const FileStarts& starts);

}  // namespace dravolin::lnx
