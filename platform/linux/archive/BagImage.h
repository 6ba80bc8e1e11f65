#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "archive/BagRecord.h"
#include "archive/RescueRead.h"
#include "platform/linux/archive/DriveImage.h"
#include "platform/linux/archive/EarlierBag.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/copy/ImageFill.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/mount/ImageMount.h"
#include "platform/linux/order/DiscTree.h"

namespace dravolin::lnx {

// How a disc becomes an image before its files are taken out of that image, rather than out
// of the disc: the disc is read once, in order, and what it could not give is known by sector.
struct ImageRead {
    // Reads the disc into a new image at `imagePath` with its map at `mapPath` (ImageDrive),
    // or on from the `earlier` map of the image already there.
    std::function<DriveImageResult(const std::string& imagePath, const std::string& mapPath,
                                   const archive::RescueHooks& hooks,
                                   const archive::RescueMap* earlier)>
        read;
    // The image open at `fd`, mounted read-only (ImageMount::Mount); null: not mounted (the
    // files are taken out by `tree`, or not out of the image at all).
    std::function<ImageMount(int fd)> mount;
    // Files: the image and map go once the files are out of them (not when the target filled
    // up during the read: they are then all the bag has). Image: no file is copied at all.
    archive::BagKeeps keep = archive::BagKeeps::Both;
    // The image's entries as the library of its file system reads them (ReadImageTree), for an
    // image `mount` cannot mount or that is not to be mounted; null, or nullopt: its files are
    // not taken out. With neither, the files come from the disc, the image beside them.
    std::function<std::optional<DiscTree>(const std::string& imagePath)> tree = nullptr;
    // When the read began and in which drive (as Dravolin-Drive names it), for the bag's line
    // of this read.
    struct ReadBy {
        std::string start;
        std::string drive;
    } readBy = {};
    // A bag of the same disc read before, to carry on from; null: the disc is read anew.
    const EarlierBag* earlier = nullptr;
};

// The disc's image and map in a bag being built, under data/image/, from the read to the
// files taken out of it.
class BagImage {
  public:
    static constexpr char kImageName[] = "disc.iso";
    static constexpr char kMapName[] = "disc.map";

    // `bag` is the bag's folder, open, at `bagPath`; data/ is there.
    BagImage(const ImageRead& how, int bag, std::string bagPath);
    ~BagImage();
    BagImage(const BagImage&) = delete;
    BagImage& operator=(const BagImage&) = delete;

    // Reads the disc, its progress given to `progress`, which says false to stop (the time
    // budget, a person). 0, or the errno that ended it.
    int Read(const std::function<bool(const CopyProgress&)>& progress);
    // The read stopped before every sector was tried.
    bool Stopped() const { return stopped_; }
    // The read carried on from the earlier bag's image and map, and the bytes it got that they
    // lacked.
    bool ReadOn() const { return readOn_; }
    std::uint64_t Gained() const { return gained_; }
    // The bag's Dravolin-Read lines: the earlier bag's, then this read's.
    std::vector<std::string> Reads() const;
    // The target filled up during the read: the image holds what fit, and its map says which
    // sectors those are. No file can be taken out of it.
    bool TargetFull() const { return targetFull_; }

    // Fills the image's unread sectors and mounts it: the folder of the disc's files. Empty
    // where it cannot be mounted, or is not to be; its file system's library then says where
    // its files lie (Tree), the image's unread sectors zeros, and `why` says how the files are
    // had, or nothing can, and `why` says why not.
    std::string Open(std::uint64_t seed, std::string& why);
    ImageFill* Fill() { return fill_ ? &*fill_ : nullptr; }
    const DiscTree* Tree() const { return tree_ ? &*tree_ : nullptr; }
    // The image, open, and what its map says of it: after Read.
    int Fd() const { return image_.Get(); }
    const archive::RescueMap& Map() const { return *map_; }
    // Unmounts the image, gives its unread sectors back their zeros, flushes it, and puts the
    // image's and the map's records first in `files` (after Read alone too); where the bag keeps
    // the files alone, removes the image and map instead, unless the target filled up or the
    // image could not be opened: they are then all the bag has of the disc. 0 or an errno.
    int Close(std::vector<archive::ArchivedFile>& files);

  private:
    std::string Path(const char* name) const;
    std::vector<archive::ByteRange> Unread() const;

    const ImageRead& how_;
    int bag_;
    std::string bagPath_;
    bool stopped_ = false;
    bool targetFull_ = false;
    bool readOn_ = false;
    std::uint64_t gained_ = 0;
    bool unopened_ = false;  // Open failed
    std::optional<archive::RescueMap> map_;
    std::vector<archive::ByteRange> gaps_;
    UniqueFd image_;
    std::optional<ImageFill> fill_;
    std::optional<ImageMount> mount_;
    std::optional<DiscTree> tree_;
};

}  // namespace dravolin::lnx
