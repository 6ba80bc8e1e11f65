#pragma once
#include <chrono>
#include <functional>
#include <optional>
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// Runs `read` in a child process of its own and hands back what it found. A disc's
// directories are read twice, by the kernel for the copy and by a library for the order, and
// a disc may lie to one and not the other: a folder that holds its own parent keeps libisofs
// going for ever. Apart, such a disc costs at most `deadline` and a bounded amount of memory,
// and then the copy keeps name order; a crash in the library ends only the child. Nullopt
// when the child fails, dies or is not done in time.
std::optional<FileStarts> ReadApart(const std::function<std::optional<FileStarts>()>& read,
                                    std::chrono::milliseconds deadline);

}  // namespace dravolin::lnx
