#include "platform/linux/archive/ReadOnFrom.h"

#include <fcntl.h>
#include <random>
#include "platform/linux/archive/BagFolder.h"

namespace dravolin::lnx {

std::optional<ReadOnFrom> ReadOnFrom::Open(const std::string& target, const std::string& earlier,
                                           bool imageOnly) {
    std::optional<EarlierBag> bag = OpenEarlierBag(target + "/" + earlier);
    if (!bag || (imageOnly && bag->files)) return std::nullopt;
    ReadOnFrom from(target, std::move(*bag));
    // What a read on that a power cut ended got is not read again either.
    if (std::optional<EarlierBag> adopted = AdoptInterruptedRead(
            target, from.earlier_, ThisProcess(), from.interruptedLock_, from.interrupted_)) {
        from.earlier_ = std::move(*adopted);
    }
    return from;
}

void ReadOnFrom::Replaced(const std::string& published) {
    const UniqueFd folder(::open(target_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return;
    if (published != earlier_.bag) {
        RetireBag(folder.Get(), earlier_.bag, ThisProcess(), std::random_device{}());
    }
    if (!interrupted_.empty()) RemoveTree(folder.Get(), interrupted_);
}

}  // namespace dravolin::lnx
