#include "platform/linux/copy/RecoveringRead.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>

namespace dravolin::lnx {

namespace {

constexpr std::size_t kBufferSize = 1u << 20;
constexpr std::uint64_t kWritebackBlock = 1u << 20;

using archive::AddDamage;
using archive::StepEnd;

}  // namespace

RecoveringRead::RecoveringRead(CopyIo& io) : io_(io) {}

RecoveringRead::~RecoveringRead() = default;

RecoveringRead::Result RecoveringRead::Copy(int in, int out, std::uint64_t size,
                                            const std::function<bool(std::uint64_t)>& onBlock) {
    if (!hasher_) hasher_ = std::make_unique<BlockHasher>(kBufferSize);
    hasher_->Start(size > kBufferSize);
    Result result = CopyHashed(in, out, size, onBlock);
    if (result.ok) {
        result.sha256 = hasher_->Finish();
    } else {
        hasher_->Drop();
    }
    return result;
}

RecoveringRead::Result RecoveringRead::CopyHashed(
    int in, int out, std::uint64_t size, const std::function<bool(std::uint64_t)>& onBlock) {
    Result result;
    std::uint64_t pos = 0;
    // Up to here a large read failed: it is read in steps, so that only the steps that fail
    // become zeros.
    std::uint64_t carefulUntil = 0;
    while (pos < size) {
        const bool careful = pos < carefulUntil;
        const std::uint64_t end = careful ? StepEnd(pos, size) : std::min(size, pos + kBufferSize);
        const auto want = static_cast<std::size_t>(end - pos);
        char* const buffer = hasher_->Block();
        const ssize_t got = ReadTwice(in, buffer, want, pos);
        if (got > 0) {
            if (!Put(out, buffer, static_cast<std::size_t>(got), pos, result)) return result;
            hasher_->Add(static_cast<std::size_t>(got));
            if (static_cast<std::uint64_t>(got) >= kWritebackBlock) {
                io_.StartWriteback(out, static_cast<off_t>(pos), static_cast<off_t>(got));
            }
            pos += static_cast<std::uint64_t>(got);
            if (!onBlock(static_cast<std::uint64_t>(got))) {
                result.cancelled = true;
                return result;
            }
            continue;
        }
        if (got < 0 && !careful && want > RecoveringRead::kRecoveryStep) {
            carefulUntil = end;
            continue;
        }
        // A failed step, or the file ends before its size: what cannot be read is zeros.
        const std::uint64_t skipTo = got == 0 ? size : StepEnd(pos, size);
        if (!PutZeros(out, pos, skipTo, result, onBlock)) return result;
        AddDamage(result.damaged, pos, skipTo);
        pos = skipTo;
    }
    struct stat now {};
    if (::fstat(in, &now) == 0 && static_cast<std::uint64_t>(now.st_size) > size) {
        result.changed = true;
        return result;
    }
    result.ok = true;
    return result;
}

ssize_t RecoveringRead::ReadTwice(int in, char* buffer, std::size_t length, std::uint64_t pos) {
    for (int attempt = 0; attempt < 2;) {
        const ssize_t got = io_.Read(in, buffer, length, static_cast<off_t>(pos));
        if (got >= 0) return got;
        if (errno != EINTR) ++attempt;
    }
    return -1;
}

bool RecoveringRead::Put(int out, const char* bytes, std::size_t length, std::uint64_t pos,
                         Result& result) {
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n =
            io_.Write(out, bytes + written, length - written, static_cast<off_t>(pos + written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            result.errorNumber = n < 0 ? errno : ENOSPC;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

bool RecoveringRead::PutZeros(int out, std::uint64_t from, std::uint64_t to, Result& result,
                              const std::function<bool(std::uint64_t)>& onBlock) {
    if (zeros_.empty()) zeros_.resize(RecoveringRead::kRecoveryStep + kSector);
    while (from < to) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(zeros_.size(), to - from));
        if (!Put(out, zeros_.data(), length, from, result)) return false;
        hasher_->Add(zeros_.data(), length);
        from += length;
        if (!onBlock(length)) {
            result.cancelled = true;
            return false;
        }
    }
    return true;
}

}  // namespace dravolin::lnx
