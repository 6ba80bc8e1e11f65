#pragma once
#include <string>
#include <vector>
#include "platform/linux/copy/TempFiles.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// A bag being built: a folder in the target folder under a temporary name of the copy's form
// (".dravolin-<writer>-<random>.part", hidden, which no disc name can take and no finished
// bag has), holding the file kBagLockName whose lock is its writer's proof of life (see
// FileLocks.h).
inline constexpr char kBagLockName[] = ".writer-lock";

// Makes such a folder in the folder open at `targetFd`, with its lock taken. Invalid
// descriptors and `error` set on failure.
struct BagFolder {
    std::string name;
    UniqueFd folder;
    UniqueFd lock;
};
BagFolder MakeBagFolder(int targetFd, const TempOwner& self, std::uint64_t random, int& error);

// The bag folders of this user in the folder open at `targetFd` whose writers are surely gone
// by their names (MayBeAlive); whether one is abandoned, its lock says.
std::vector<std::string> GoneWritersBags(int targetFd, const TempOwner& self);

// Removes the bag folders in the folder open at `targetFd` whose writers are gone: the owner
// in the name is surely gone (MayBeAlive), and nobody holds the lock file inside (the writer
// holds it until the bag has its name). A folder without its lock file is removed only when
// empty. Anything else is left alone.
void RemoveStaleBags(int targetFd, const TempOwner& self);

// Removes the folder `name` of the folder open at `parentFd` with all it holds, never through
// a link, with a handful of descriptors however deep it is. False when something stays.
bool RemoveTree(int parentFd, const std::string& name);

}  // namespace dravolin::lnx
