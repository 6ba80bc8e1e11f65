#pragma once
#include <cstdint>
#include <functional>
#include <vector>
#include "platform/linux/CopyIo.h"

namespace dravolin::lnx {

// Copies the bytes of one open regular file into another, from the start, in blocks.
class FileData {
  public:
    explicit FileData(CopyIo& io) : io_(io) {}

    struct Result {
        bool ok = false;
        bool cancelled = false;
        bool readFailed = false;  // else writing failed
        int errorNumber = 0;
        std::uint64_t size = 0;  // the size of the copy
    };
    // `onBlock(bytes)` is called after every block with the bytes just copied; false cancels.
    // Holes of a sparse source stay holes; `sparse` false (the file's blocks cover its size)
    // saves looking for them. The kernel's copy_file_range is used where it works,
    // large buffers where it does not (another file system type, an old kernel).
    Result Copy(int in, int out, std::uint64_t size, bool sparse,
                const std::function<bool(std::uint64_t)>& onBlock);

  private:
    // One data extent [from, to); false with `result` filled on failure or cancel.
    bool CopyExtent(int in, int out, std::uint64_t from, std::uint64_t to, Result& result,
                    const std::function<bool(std::uint64_t)>& onBlock);
    bool CopyWithBuffer(int in, int out, std::uint64_t& pos, std::uint64_t to, Result& result,
                        const std::function<bool(std::uint64_t)>& onBlock);

    CopyIo& io_;
    bool kernelCopy_ = true;
    std::vector<char> buffer_;
};

}  // namespace dravolin::lnx
