#include <udfread/udfread.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include "platform/linux/order/layout/LibraryFileStarts.h"

namespace dravolin::lnx {

namespace {

struct VolumeClose {
    void operator()(udfread* volume) const { udfread_close(volume); }
};
struct DirClose {
    void operator()(UDFDIR* dir) const { udfread_closedir(dir); }
};
struct FileClose {
    void operator()(UDFFILE* file) const { udfread_file_close(file); }
};

// A regular file's bytes: its blocks joined where they follow one another on the disc, or the
// data its entry holds. Neither for a file with a block the library has no place for (one never
// written, or an error).
void Locate(UDFFILE* file, TreeEntry& entry) {
    const std::int64_t size = udfread_file_size(file);
    if (size <= 0) return;
    entry.size = static_cast<std::uint64_t>(size);
    if (udfread_file_lba(file, 0) == 0) {
        // Data inside the entry fit in one block.
        if (entry.size > kLayoutBlock) return;
        entry.inlineData.resize(entry.size);
        const ssize_t got = udfread_file_read(file, entry.inlineData.data(), entry.size);
        if (got != size) entry.inlineData.clear();
        return;
    }
    const std::uint64_t blocks = (entry.size + kLayoutBlock - 1) / kLayoutBlock;
    if (blocks > UINT32_MAX) return;
    for (std::uint64_t block = 0; block < blocks; ++block) {
        const std::uint32_t lba = udfread_file_lba(file, static_cast<std::uint32_t>(block));
        if (lba == 0) {
            entry.extents.clear();
            return;
        }
        const std::uint64_t length = std::min(kLayoutBlock, entry.size - block * kLayoutBlock);
        const std::uint64_t offset = std::uint64_t{lba} * kLayoutBlock;
        if (!entry.extents.empty() &&
            entry.extents.back().discOffset + entry.extents.back().length == offset) {
            entry.extents.back().length += length;
        } else {
            entry.extents.push_back({offset, length});
        }
    }
}

bool Collect(UDFDIR* dir, const std::string& prefix, int depth, std::uint64_t& budget,
             DiscTree& tree) {
    udfread_dirent entry{};
    while (udfread_readdir(dir, &entry)) {
        const char* name = entry.d_name;
        if (!name || !*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        // Every entry counts, folders too: folders that lead into one another end here.
        if (budget == 0) return false;
        --budget;
        TreeEntry found;
        found.path = prefix + name;
        if (entry.d_type == UDF_DT_DIR) {
            found.kind = TreeEntry::Kind::Folder;
            tree.push_back(found);
            if (depth >= kLayoutMaxDepth) continue;
            const std::unique_ptr<UDFDIR, DirClose> child(udfread_opendir_at(dir, name));
            if (!child) continue;
            if (!Collect(child.get(), found.path + "/", depth + 1, budget, tree)) return false;
        } else if (entry.d_type == UDF_DT_REG) {
            const std::unique_ptr<UDFFILE, FileClose> file(udfread_file_openat(dir, name));
            if (!file) continue;
            Locate(file.get(), found);
            tree.push_back(std::move(found));
        } else {
            // The library tells links and devices from nothing else.
            found.kind = TreeEntry::Kind::Special;
            tree.push_back(std::move(found));
        }
    }
    return true;
}

}  // namespace

std::optional<DiscTree> UdfTree(const std::string& device, std::uint64_t maxEntries) {
    const std::unique_ptr<udfread, VolumeClose> volume(udfread_init());
    if (!volume || udfread_open(volume.get(), device.c_str()) < 0) return std::nullopt;
    const std::unique_ptr<UDFDIR, DirClose> root(udfread_opendir(volume.get(), "/"));
    if (!root) return std::nullopt;
    DiscTree tree;
    std::uint64_t budget = maxEntries;
    if (!Collect(root.get(), "", 0, budget, tree)) return std::nullopt;
    return tree;
}

}  // namespace dravolin::lnx
