#pragma once
#include <cstdint>
#include <functional>
#include <vector>
#include "platform/linux/copy/CopyIo.h"

namespace dravolin::lnx {

// Copies the bytes of one open regular file into another, from the start, in blocks.
class FileData {
  public:
    explicit FileData(CopyIo& io) : io_(io) {}

    struct Result {
        bool ok = false;
        bool cancelled = false;
        bool readFailed = false;  // else writing failed
        // The source did not hold `size` bytes to the end: it shrank or grew while it was read.
        // Set with readFailed and no errorNumber; the copy is not the file.
        bool changed = false;
        int errorNumber = 0;
    };
    // Copies exactly `size` bytes, the size the source had when it was opened: a source that
    // ends before, or holds more after, fails as a read would.
    // `onBlock(bytes)` is called after every block with the bytes just copied; false cancels.
    // Holes of a sparse source stay holes; `sparse` false (the file's blocks cover its size)
    // saves looking for them. The kernel's copy_file_range is used where it works,
    // large buffers where it does not (another file system type, an old kernel).
    Result Copy(int in, int out, std::uint64_t size, bool sparse,
                const std::function<bool(std::uint64_t)>& onBlock);

  private:
    // Whether the source still ends at `size`: its last byte is there and none follows.
    bool EndsAt(int in, std::uint64_t size, Result& result);
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
