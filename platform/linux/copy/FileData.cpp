#include "platform/linux/copy/FileData.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace dravolin::lnx {

namespace {

// Big enough to keep the system-call count negligible, small enough to cancel at once.
constexpr std::uint64_t kKernelChunk = 8u << 20;
constexpr std::size_t kBufferSize = 1u << 20;
constexpr std::uint64_t kWritebackBlock = 1u << 20;

bool KernelCopyUnsupported(int error) {
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL ||
           error == EBADF;
}

// copy_file_range does not say which side failed; these can only be the target's.
bool IsWriteError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS;
}

}  // namespace

FileData::Result FileData::Copy(int in, int out, std::uint64_t size, bool sparse,
                                const std::function<bool(std::uint64_t)>& onBlock) {
    Result result;
    if (!sparse) {
        // Written from the start without a gap, the copy already has its length.
        if (size > 0 && !CopyExtent(in, out, 0, size, result, onBlock)) return result;
        result.ok = EndsAt(in, size, result);
        return result;
    }
    std::uint64_t pos = 0;
    while (pos < size) {
        std::uint64_t data = pos, hole = size;
        const off_t foundData = ::lseek(in, static_cast<off_t>(pos), SEEK_DATA);
        if (foundData < 0 && errno == ENXIO) break;  // only a hole is left, or the file shrank
        if (foundData >= 0) {
            data = static_cast<std::uint64_t>(foundData);
            const off_t foundHole = ::lseek(in, foundData, SEEK_HOLE);
            if (foundHole >= 0) hole = static_cast<std::uint64_t>(foundHole);
        }
        hole = std::min(hole, size);
        if (data >= hole) break;
        if (!CopyExtent(in, out, data, hole, result, onBlock)) return result;
        pos = hole;
    }
    if (!EndsAt(in, size, result)) return result;
    // Trailing holes.
    if (::ftruncate(out, static_cast<off_t>(size)) != 0) {
        result.errorNumber = errno;
        return result;
    }
    result.ok = true;
    return result;
}

bool FileData::EndsAt(int in, std::uint64_t size, Result& result) {
    char probe[2];
    const std::size_t want = size == 0 ? 1 : 2;
    const std::size_t expected = size == 0 ? 0 : 1;
    const off_t at = static_cast<off_t>(size == 0 ? 0 : size - 1);
    ssize_t n;
    do {
        n = io_.Read(in, probe, want, at);
    } while (n < 0 && errno == EINTR);
    result.readFailed = n < 0 || static_cast<std::size_t>(n) != expected;
    if (n < 0) {
        result.errorNumber = errno;
    } else if (result.readFailed) {
        result.changed = true;
    }
    return !result.readFailed;
}

bool FileData::CopyExtent(int in, int out, std::uint64_t from, std::uint64_t to, Result& result,
                          const std::function<bool(std::uint64_t)>& onBlock) {
    std::uint64_t pos = from;
    while (pos < to) {
        if (!kernelCopy_) return CopyWithBuffer(in, out, pos, to, result, onBlock);
        const std::size_t want = static_cast<std::size_t>(std::min(kKernelChunk, to - pos));
        const ssize_t n =
            io_.CopyRange(in, static_cast<off_t>(pos), out, static_cast<off_t>(pos), want);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (KernelCopyUnsupported(errno)) {
                kernelCopy_ = false;
                continue;
            }
            result.errorNumber = errno;
            result.readFailed = !IsWriteError(errno);
            return false;
        }
        if (n == 0) {  // the source ended early
            result.readFailed = result.changed = true;
            return false;
        }
        // A large file's data start for the disk now, while the next block is copied. Small
        // files are left to the batch flush: many small writes cost more than one big one.
        if (static_cast<std::uint64_t>(n) >= kWritebackBlock) {
            io_.StartWriteback(out, static_cast<off_t>(pos), static_cast<off_t>(n));
        }
        pos += static_cast<std::uint64_t>(n);
        if (!onBlock(static_cast<std::uint64_t>(n))) {
            result.cancelled = true;
            return false;
        }
    }
    return true;
}

bool FileData::CopyWithBuffer(int in, int out, std::uint64_t& pos, std::uint64_t to, Result& result,
                              const std::function<bool(std::uint64_t)>& onBlock) {
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    while (pos < to) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, to - pos));
        const ssize_t got = io_.Read(in, buffer_.data(), want, static_cast<off_t>(pos));
        if (got < 0) {
            if (errno == EINTR) continue;
            result.errorNumber = errno;
            result.readFailed = true;
            return false;
        }
        if (got == 0) {
            result.readFailed = result.changed = true;
            return false;
        }
        std::size_t written = 0;
        while (written < static_cast<std::size_t>(got)) {
            const ssize_t n =
                io_.Write(out, buffer_.data() + written, static_cast<std::size_t>(got) - written,
                          static_cast<off_t>(pos + written));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                result.errorNumber = n < 0 ? errno : ENOSPC;
                return false;
            }
            written += static_cast<std::size_t>(n);
        }
        if (static_cast<std::uint64_t>(got) >= kWritebackBlock) {
            io_.StartWriteback(out, static_cast<off_t>(pos), static_cast<off_t>(got));
        }
        pos += static_cast<std::uint64_t>(got);
        if (!onBlock(static_cast<std::uint64_t>(got))) {
            result.cancelled = true;
            return false;
        }
    }
    return true;
}

}  // namespace dravolin::lnx
