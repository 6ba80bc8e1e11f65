#include "platform/linux/copy/CopyOrder.h"

#include <algorithm>
#include <limits>
#include <string>

namespace dravolin::lnx {

namespace {

constexpr std::uint64_t kUnplaced = std::numeric_limits<std::uint64_t>::max();

struct Walk {
    const FileStarts& starts;
    CopyOrder& order;
    std::vector<std::uint64_t>& keys;
    std::uint64_t files = 0;
    std::uint64_t placed = 0;
    bool clean = true;
};

void Add(Walk& walk, SourceNode& folder, std::size_t index, const std::string& prefix) {
    if (folder.problem != FolderProblem::None) walk.clean = false;
    for (SourceNode& child : folder.children) {
        const std::size_t at = walk.order.entries.size();
        walk.order.entries.push_back({&child, index});
        walk.keys.push_back(kUnplaced);
        const std::string path = prefix + child.name;
        if (child.folder) {
            Add(walk, child, at, path + "/");
            continue;
        }
        ++walk.files;
        const auto found = walk.starts.find(path);
        if (found == walk.starts.end()) continue;
        ++walk.placed;
        walk.keys[at] = std::min(found->second, kUnplaced - 1);
    }
}

}  // namespace

bool MayReorder(const SourceNode& root) {
    if (root.problem != FolderProblem::None) return false;
    for (const SourceNode& child : root.children) {
        if (child.folder && !MayReorder(child)) return false;
    }
    return true;
}

std::optional<CopyOrder> DiscOrderOf(SourceNode& root, const FileStarts& starts) {
    CopyOrder order;
    std::vector<std::uint64_t> keys;
    order.entries.push_back({&root, CopyOrder::kNoFolder});
    keys.push_back(kUnplaced);
    Walk walk{starts, order, keys};
    Add(walk, root, 0, "");
    if (!walk.clean || walk.files == 0 || walk.placed * 2 <= walk.files) return std::nullopt;

    // A folder goes where its first file does. The entries run from the root down, so going
    // backwards each node is done before its folder hears of it.
    for (std::size_t i = order.entries.size(); i-- > 1;) {
        const std::size_t parent = order.entries[i].parent;
        keys[parent] = std::min(keys[parent], keys[i]);
    }
    order.sequence.reserve(order.entries.size() - 1);
    for (std::size_t i = 1; i < order.entries.size(); ++i) order.sequence.push_back(i);
    // Stable: ties, and everything unplaced, keep name order; a folder, met before its files,
    // stays before the file that placed it.
    std::stable_sort(order.sequence.begin(), order.sequence.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    return order;
}

}  // namespace dravolin::lnx
