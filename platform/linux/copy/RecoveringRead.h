#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "archive/Recovery.h"
#include "platform/linux/copy/ArchiveRecord.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/BlockHasher.h"
#include "platform/linux/copy/ImageFill.h"

namespace dravolin::lnx {

// Copies the bytes of one open regular file into another for an archive copy, hashing them on
// the way, and keeps going past what the disc cannot read, by the portable rule
// (archive::CopyRecovering): the copy always holds `size` bytes, and the digest is that of the
// bytes written. A file larger than one read is hashed on a thread of its own while the copy
// goes on (BlockHasher).
class RecoveringRead {
  public:
    // The step rule is the portable one (archive/Recovery.h).
    static constexpr std::uint64_t kRecoveryStep = archive::kRecoveryStep;
    static constexpr std::uint64_t kSector = archive::kSector;

    explicit RecoveringRead(CopyIo& io);
    ~RecoveringRead();

    struct Result {
        bool ok = false;
        bool cancelled = false;
        int errorNumber = 0;  // writing failed
        // The file holds more than `size` once read: it grew while it was read, and the copy
        // is not the file. (One that ends before its size is zeros from there, as damage.)
        bool changed = false;
        std::string sha256;
        std::vector<ByteRange> damaged;  // in order, adjacent ones joined
    };
    // `onBlock(bytes)` after every block written; false cancels. With `fill`, `in` is a file of
    // a disc's image whose unread sectors hold that fill: those of the file become zeros and
    // damaged ranges, as the disc's read errors do.
    Result Copy(int in, int out, std::uint64_t size,
                const std::function<bool(std::uint64_t)>& onBlock, ImageFill* fill = nullptr);

  private:
    CopyIo& io_;
    // Made at the first file: a plain copy has no use for its blocks.
    std::unique_ptr<BlockHasher> hasher_;
};

}  // namespace dravolin::lnx
