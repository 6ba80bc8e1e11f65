#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "archive/BagCheck.h"

namespace dravolin::lnx {

// The bags of the target folder open at `target`: its folders that hold a bagit.txt, in name
// order; hidden ones (bags being built, removed) left out.
std::vector<std::string> BagsIn(int target);

// Checks the bag `name` of the target folder open at `target`, reading every file it lists
// again, and changes nothing: every file is opened read-only, no link is followed, and no path
// of a manifest leads out of the bag. `progress` is told the bytes read so far, now and then; it
// stops the check by answering false (nullopt).
std::optional<archive::BagFindings> CheckBag(
    int target, const std::string& name,
    const std::function<bool(std::uint64_t bytesRead)>& progress);

}  // namespace dravolin::lnx
