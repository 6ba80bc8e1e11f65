#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dravolin::lnx {

// Who writes a temporary file. It is written into the file's name, so that a later copy into
// the same folder can tell whether the writer may still be at work or left the file behind
// when it was killed.
struct TempOwner {
    std::uint64_t machine = 0;       // a hash of the machine's id
    std::uint64_t boot = 0;          // from the kernel's boot id; 0 when unknown
    std::uint64_t pidNamespace = 0;  // which pid numbering `pid` belongs to; 0 when unknown
    std::uint64_t pid = 0;
    std::uint64_t startTime = 0;  // clock ticks from boot to the process's start; 0 when unknown
    bool operator==(const TempOwner&) const = default;
};

// This process, as the owner of what it writes.
TempOwner ThisProcess();

// ".dravolin-<machine>-<boot>-<pid namespace>-<pid>-<start>-<random>.part": a dot file no disc
// name can take, since the scan refuses every name of that form (LooksLikeTempName).
std::string TempName(const TempOwner& owner, std::uint64_t random);

// Whether a name has the form of the copy's temporary files (".dravolin-….part"), whatever
// lies between: such a name is the copy's own and never taken from a disc, or a disc's file of
// that name would be taken for a dead copy's leftover.
bool LooksLikeTempName(std::string_view name);

// The owner a temporary name carries; nullopt for any other name.
std::optional<TempOwner> OwnerOfTemp(std::string_view name);

// False only when the owner is surely gone: it ran on an earlier boot of this machine, or its
// process no longer runs (its pid is free, or taken by a process that started later). Owners
// on other machines or in other pid namespaces cannot be looked at and may be alive.
bool MayBeAlive(const TempOwner& owner, const TempOwner& self);

// Removes the regular files of the folder open at `folderFd` that are temporary files of
// writers that are gone. The name only picks the candidates: each is removed only when, on
// top of its owner being surely gone, no writer holds its lock (see FileLocks.h), since an
// owner read from a name can be mistaken (a machine cloned from the same image, another time
// namespace). Other names, and files that cannot be read, are left alone.
void RemoveStaleTemps(int folderFd, const TempOwner& self);

}  // namespace dravolin::lnx
