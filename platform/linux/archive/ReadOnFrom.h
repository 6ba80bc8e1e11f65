#pragma once
#include <optional>
#include <string>
#include "platform/linux/archive/EarlierBag.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// What a read on from an earlier bag of the target carries on from: that bag's image and map,
// or those of a read on from it that a power cut ended (AdoptInterruptedRead), whose folder is
// held meanwhile; and, once the merged bag is published, their removal.
class ReadOnFrom {
  public:
    // The bag `earlier` of the target folder `target`; nullopt where there is nothing to carry
    // on from (OpenEarlierBag), or where the new bag keeps the image alone and the earlier one
    // holds files too, which the new one would lose.
    static std::optional<ReadOnFrom> Open(const std::string& target, const std::string& earlier,
                                          bool imageOnly);

    const EarlierBag& Earlier() const { return earlier_; }
    // The merged bag stands under `published`: the earlier bag (unless the merged one took its
    // place) and the interrupted read's folder go. What cannot be removed stays.
    void Replaced(const std::string& published);

  private:
    ReadOnFrom(std::string target, EarlierBag earlier)
        : target_(std::move(target)), earlier_(std::move(earlier)) {}
    std::string target_;
    EarlierBag earlier_;
    UniqueFd interruptedLock_;  // held while the read copies from an interrupted read on
    std::string interrupted_;   // its folder's name; empty: none
};

}  // namespace dravolin::lnx
