#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "platform/linux/copy/ArchiveRecord.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/io/Sha256.h"

namespace dravolin::lnx {

// Copies the bytes of one open regular file into another for an archive copy, hashing them on
// the way, and keeps going past what the disc cannot read. A read that fails is tried once
// more; a region that still fails is read in steps of kRecoveryStep, and a step that fails
// twice is written as zeros, recorded as damaged, and skipped. So the copy always holds
// `size` bytes, and the digest is that of the bytes written.
class RecoveringRead {
  public:
    // At least 32 KiB, ending on a 2048-byte sector: 16 sectors, what tools of the field skip
    // after an error. A drive's firmware already retries each sector; more tries cost minutes.
    static constexpr std::uint64_t kRecoveryStep = 32u << 10;
    static constexpr std::uint64_t kSector = 2048;

    explicit RecoveringRead(CopyIo& io) : io_(io) {}

    struct Result {
        bool ok = false;
        bool cancelled = false;
        int errorNumber = 0;  // writing failed
        std::string sha256;
        std::vector<ByteRange> damaged;  // in order, adjacent ones joined
    };
    // `onBlock(bytes)` after every block written; false cancels.
    Result Copy(int in, int out, std::uint64_t size,
                const std::function<bool(std::uint64_t)>& onBlock);

  private:
    // Bytes read (short near the end, 0 past it), or -1 when the read failed twice.
    ssize_t ReadTwice(int in, char* buffer, std::size_t length, std::uint64_t pos);
    bool Put(int out, const char* bytes, std::size_t length, std::uint64_t pos, Result& result);
    bool PutZeros(int out, std::uint64_t from, std::uint64_t to, Result& result,
                  const std::function<bool(std::uint64_t)>& onBlock);

    CopyIo& io_;
    Sha256 hash_;
    std::vector<char> buffer_;
    std::vector<char> zeros_;
};

}  // namespace dravolin::lnx
