#include "platform/linux/archive/TargetRoom.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <cerrno>

namespace dravolin::lnx {

TargetRoom::Promise::~Promise() {
    room_.GiveBack(disk_, bytes_);
}

std::unique_ptr<TargetRoom::Promise> TargetRoom::Take(const std::string& folder,
                                                      std::uint64_t bytes) {
    // A target folder the first bag is to make lies on the disk of the nearest one that is.
    std::string existing = folder;
    struct stat where {};
    while (::stat(existing.c_str(), &where) != 0) {
        const std::size_t slash = existing.find_last_of('/');
        if (errno != ENOENT || slash == std::string::npos || existing == "/") return nullptr;
        existing.resize(slash == 0 ? 1 : slash);
    }
    struct statvfs space {};
    if (::statvfs(existing.c_str(), &space) != 0) return nullptr;
    const std::uint64_t free = std::uint64_t{space.f_bavail} * space.f_frsize;
    const std::lock_guard lock(mutex_);
    std::uint64_t& promised = promised_[where.st_dev];
    if (free < promised || free - promised < bytes) return nullptr;
    promised += bytes;
    return std::unique_ptr<Promise>(new Promise(*this, where.st_dev, bytes));
}

void TargetRoom::GiveBack(dev_t disk, std::uint64_t bytes) {
    const std::lock_guard lock(mutex_);
    const auto promised = promised_.find(disk);
    if (promised == promised_.end()) return;
    promised->second -= bytes;
    if (promised->second == 0) promised_.erase(promised);
}

}  // namespace dravolin::lnx
