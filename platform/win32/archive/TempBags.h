#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include "platform/win32/Handles.h"

namespace dravolin::win32 {

// Who builds a bag: written into the bag's temporary name, so that a later writer into the same
// target folder can tell a bag whose writer died (killed, power cut) from one still being built.
struct BagOwner {
    std::uint64_t machine = 0;  // a hash of the computer's name
    std::uint32_t process = 0;
    bool operator==(const BagOwner&) const = default;
};

// This process on this computer.
BagOwner ThisWriter();

// ".dravolin-<machine>-<process>-<random>.part" in hex: hidden by its dot, of the form no
// stored name takes (StoredName), so never a finished bag's name nor a disc's.
std::wstring TempBagName(const BagOwner& owner, std::uint64_t random);

// The owner a temporary bag's name carries; nothing for any other name.
std::optional<BagOwner> OwnerOfTempBag(std::wstring_view name);

// The file in a bag folder that its writer holds open and locked until the bag has its name:
// a cleaner that cannot see the writer alive (a computer cloned from the same image, with the
// same name) still finds the bag taken. Invalid, with `error` set, when it cannot be made.
UniqueHandle LockBag(const std::wstring& bag, unsigned long& error);
// The lock file's path in `bag`: removed by its writer once the bag has its name.
std::wstring BagLockPath(const std::wstring& bag);

// Removes the temporary bags in `target` (long form) that surely have no writer: made on this
// computer by a process that no longer runs, and whose lock nobody holds. A folder without
// its lock file is removed only when empty (its writer died before taking the lock). A
// process number taken again by another process keeps its bag (a leftover, never a loss);
// bags of other computers sharing the target are left alone.
void RemoveStaleBags(const std::wstring& target);

// Removes the folder `path` (long form) and all it holds, never through a link.
void RemoveTree(const std::wstring& path);

}  // namespace dravolin::win32
