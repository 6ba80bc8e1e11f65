#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "archive/RescueMap.h"
#include "platform/linux/copy/TempFiles.h"

namespace dravolin::lnx {

// An incomplete bag of a disc that a further read of the same disc carries on from, in another
// drive or the same one: its image and map are copied into the new bag, and the drive is asked
// only for what the map lacks. The earlier bag is never written to; the new one replaces it once
// it stands whole under its own name.
struct EarlierBag {
    std::string path;        // the bag's folder
    archive::RescueMap map;  // what its image holds
    // Its Dravolin-Read lines, one per read that made it, oldest first.
    std::vector<std::string> reads;
    bool files = false;  // it holds the disc's files too, under data/files/
};

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
