#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "archive/BagCheck.h"

namespace dravolin::lnx {

// The bags of the target folder open at `target`: its folders that hold a bagit.txt, in name
// order; hidden ones (bags being built, removed) left out.
std::vector<std::string> BagsIn(int target);

// Each entry name of the folder open at `dir`, which stays the caller's.
std::vector<std::string> NamesIn(int dir);

// Checks the bag `name` of the target folder open at `target`, reading every file it lists
// again, and changes nothing: every file is opened read-only, no link is followed, and no path
// of a manifest leads out of the bag. `progress` is told the bytes read so far, now and then; it
// stops the check by answering false (nullopt).
// The text of the file `name` in the folder open at `dir`, no link followed; nullopt where it
// cannot be read.
std::optional<std::string> ReadBagText(int dir, const char* name);

// Every entry below the folder open at `dir` that is not a folder, as "prefix/path", with the
// bytes of the regular ones; false where a folder cannot be listed.
bool ListFiles(int dir, const std::string& prefix, std::map<std::string, std::uint64_t>& files);

std::optional<archive::BagFindings> CheckBag(
    int target, const std::string& name,
    const std::function<bool(std::uint64_t bytesRead)>& progress);

}  // namespace dravolin::lnx
