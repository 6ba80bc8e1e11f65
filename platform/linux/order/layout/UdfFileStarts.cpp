#include <udfread/udfread.h>
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

bool Collect(UDFDIR* dir, const std::string& prefix, int depth, std::uint64_t& budget,
             FileStarts& starts) {
    udfread_dirent entry{};
    while (udfread_readdir(dir, &entry)) {
        const char* name = entry.d_name;
        if (!name || !*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        // Every entry counts, folders too: folders that lead into one another end here.
        if (budget == 0) return false;
        --budget;
        const std::string path = prefix + name;
        if (entry.d_type == UDF_DT_DIR) {
            if (depth >= kLayoutMaxDepth) continue;
            const std::unique_ptr<UDFDIR, DirClose> child(udfread_opendir_at(dir, name));
            if (!child) continue;
            if (!Collect(child.get(), path + "/", depth + 1, budget, starts)) return false;
        } else if (entry.d_type == UDF_DT_REG) {
            const std::unique_ptr<UDFFILE, FileClose> file(udfread_file_openat(dir, name));
            if (!file) continue;
            // 0 for data kept inside the file's own entry, which the scan has just read past.
            starts.emplace(path, udfread_file_lba(file.get(), 0));
        }
    }
    return true;
}

}  // namespace

std::optional<FileStarts> UdfFileStarts(const std::string& device, std::uint64_t maxEntries) {
    const std::unique_ptr<udfread, VolumeClose> volume(udfread_init());
    if (!volume || udfread_open(volume.get(), device.c_str()) < 0) return std::nullopt;
    const std::unique_ptr<UDFDIR, DirClose> root(udfread_opendir(volume.get(), "/"));
    if (!root) return std::nullopt;
    FileStarts starts;
    std::uint64_t budget = maxEntries;
    if (!Collect(root.get(), "", 0, budget, starts)) return std::nullopt;
    return starts;
}

}  // namespace dravolin::lnx
