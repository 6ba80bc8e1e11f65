#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "archive/RescueMap.h"
#include "platform/linux/copy/TempFiles.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// An incomplete bag of a disc that a further read of the same disc carries on from, in another
// drive or the same one: its image and map are copied into the new bag, and the drive is asked
// only for what the map lacks. The earlier bag is never written to; the new one replaces it once
// it stands whole under its own name.
struct EarlierBag {
    std::string path;        // the folder of its image and map: the bag's
    archive::RescueMap map;  // what its image holds
    // Its Dravolin-Read lines, one per read that made it, oldest first.
    std::vector<std::string> reads;
    bool files = false;  // it holds the disc's files too, under data/files/
    // What the bag itself holds of the disc, which a further read must add to to replace it
    // (more than `map` holds where that map is an interrupted read's, AdoptInterruptedRead).
    std::uint64_t rescued = 0;
    std::string bag;  // the bag's folder name
};

// Written into a bag being built by a read on from the bag it names; gone before the bag is.
inline constexpr char kReadOnFromName[] = ".read-on-from";

// A read on from `earlier` that a power cut or a kill ended before its bag was published: a
// dead writer's bag folder in the folder `target` that names `earlier`'s folder in
// its kReadOnFromName and holds an image and map of the same size with more of the disc than
// `earlier`. Its lock is taken into `lock`, so that no writer removes the folder while the
// next read on copies from it; `earlier` with the image and map of the most complete such
// read, and a Dravolin-Read line for it; nullopt when there is none.
std::optional<EarlierBag> AdoptInterruptedRead(const std::string& target, const EarlierBag& earlier,
                                               const TempOwner& self, UniqueFd& lock,
                                               std::string& folder);

// A Dravolin-Read line: a read begun at `start` in `drive` (as Dravolin-Drive names it) got
// `gained` bytes that no read before it had.
std::string ReadLine(const std::string& start, const std::string& drive, std::uint64_t gained);

// The bag at `path`, where it holds an image and a map that parses and covers it (a bag of
// files alone, a map edited or torn: nullopt, and the disc is read anew).
std::optional<EarlierBag> OpenEarlierBag(const std::string& path);

// Copies the image file `from` to a new file `to`, its holes (the sectors no read got) left
// holes where the file system keeps them. 0 or an errno.
int CopyImageFile(const std::string& from, const std::string& to);

// Takes the bag `name` out of the folder open at `targetFd` for good: moved first into a new
// temporary bag folder of `owner`, locked as a writer's, then removed, so that a crash midway
// leaves a leftover that the next writer removes, never part of a bag under its name. False
// when it is still there.
bool RetireBag(int targetFd, const std::string& name, const TempOwner& owner, std::uint64_t random);

}  // namespace dravolin::lnx
