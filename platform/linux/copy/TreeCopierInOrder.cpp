// The copy in the order the files lie on the disc; the walk in name order is in TreeCopier.cpp.
#include <algorithm>
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/order/MountedFileStarts.h"

namespace dravolin::lnx {

std::optional<CopyOrder> TreeCopier::DiscOrder(SourceNode& root, const std::string& sourceFolder) {
    // Files taken out of a disc's image are read from the target's disk, mostly from memory
    // since the image was just written: the order saves no drive's seeks there.
    const ArchiveRecord* archive = operation_.Archive();
    if (NameOrderAsked() || !MayReorder(root) || (archive && archive->fill)) return std::nullopt;
    // Directories that name far more entries than the mounted tree shows are lying.
    const std::uint64_t maxEntries = 2 * SizeOf(root).entries + 1024;
    const std::optional<FileStarts> starts = startsReader_
                                                 ? startsReader_(sourceFolder, maxEntries)
                                                 : MountedFileStarts(sourceFolder, maxEntries);
    if (!starts) return std::nullopt;
    return DiscOrderOf(root, *starts);
}

// The walk goes from folder to folder as the files come, and may come back to a folder it has
// left: a folder is made and cleaned on the first visit only. A folder it could not open is
// not tried again: its files still to come are counted as done, each once.
Flow TreeCopier::CopyInOrder(Walk& walk, const CopyOrder& order, const PlacePtr& root) {
    std::vector<PlacePtr> places(order.entries.size());
    std::vector<bool> abandoned(order.entries.size());
    places[0] = root;
    std::vector<std::size_t> at{0};  // the folders the walk is in, from the root down
    std::vector<std::size_t> path;
    const auto skip = [&](const SourceNode& node) {
        if (!node.folder) SkipSubtree(node);
    };
    for (const std::size_t index : order.sequence) {
        if (operation_.Cancelled()) break;
        const CopyOrder::Entry& entry = order.entries[index];
        path.clear();
        for (std::size_t f = entry.node->folder ? index : entry.parent; f != CopyOrder::kNoFolder;
             f = order.entries[f].parent) {
            path.push_back(f);
        }
        std::reverse(path.begin(), path.end());
        std::size_t common = 0;
        while (common < at.size() && common < path.size() && at[common] == path[common]) ++common;
        while (at.size() > common) {
            walk.source.Leave();
            walk.target.Leave();
            at.pop_back();
        }
        bool skipped =
            std::any_of(path.begin(), path.end(), [&](std::size_t f) { return abandoned[f]; });
        while (!skipped && at.size() < path.size()) {
            const std::size_t next = path[at.size()];
            const Entered entered =
                EnterPair(walk, places[at.back()], *order.entries[next].node, places[next]);
            if (entered == Entered::Cancelled) return Flow::Cancel;
            if (entered == Entered::Skipped) {
                abandoned[next] = true;
                skipped = true;
            } else {
                at.push_back(next);
            }
        }
        if (skipped) {
            skip(*entry.node);
            continue;
        }
        if (entry.node->folder) continue;
        bool skipRest = false;
        if (CopyFile(walk, places[at.back()], *entry.node, skipRest) == Flow::Cancel) {
            return Flow::Cancel;
        }
        if (skipRest) {
            abandoned[at.back()] = true;
            skip(*entry.node);
        }
    }
    for (; at.size() > 1; at.pop_back()) {
        walk.source.Leave();
        walk.target.Leave();
    }
    return operation_.Cancelled() ? Flow::Cancel : Flow::Continue;
}

}  // namespace dravolin::lnx
