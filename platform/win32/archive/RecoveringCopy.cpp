#include "platform/win32/archive/RecoveringCopy.h"

#include <algorithm>
#include "archive/Recovery.h"
#include "platform/win32/archive/Sha256.h"

namespace dravolin::win32 {

namespace {

constexpr std::size_t kBufferSize = 1u << 20;

std::optional<std::size_t> ReadTwice(BlockReader& in, char* buffer, std::size_t length,
                                     std::uint64_t pos) {
    if (auto got = in.Read(pos, buffer, length)) return got;
    return in.Read(pos, buffer, length);
}

bool Put(HANDLE out, const char* bytes, std::size_t length, RecoveredFile& result) {
    while (length > 0) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(length, kBufferSize));
        if (!::WriteFile(out, bytes, piece, &written, nullptr) || written == 0) {
            result.end = RecoveredFile::End::WriteFailed;
            result.error =
                written == 0 && ::GetLastError() == 0 ? ERROR_DISK_FULL : ::GetLastError();
            return false;
        }
        bytes += written;
        length -= written;
    }
    return true;
}

}  // namespace

std::optional<std::size_t> HandleReader::Read(std::uint64_t pos, char* buffer, std::size_t length) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(pos);
    at.OffsetHigh = static_cast<DWORD>(pos >> 32);
    DWORD got = 0;
    if (::ReadFile(file_, buffer, static_cast<DWORD>(length), &got, &at)) return got;
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    return std::nullopt;
}

RecoveredFile CopyRecovering(BlockReader& in, HANDLE out, std::uint64_t size, Sha256& hash,
                             const std::function<bool(std::uint64_t)>& onBlock) {
    RecoveredFile result;
    hash.Restart();
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, kBufferSize)));
    std::vector<char> zeros;
    std::uint64_t pos = 0;
    // Up to here a large read failed: it is read in steps, so that only the steps that fail
    // become zeros.
    std::uint64_t carefulUntil = 0;
    while (pos < size) {
        const bool careful = pos < carefulUntil;
        const std::uint64_t end = careful ? archive::StepEnd(pos, size)
                                          : std::min<std::uint64_t>(size, pos + kBufferSize);
        const auto want = static_cast<std::size_t>(end - pos);
        const std::optional<std::size_t> got = ReadTwice(in, buffer.data(), want, pos);
        if (got && *got > 0) {
            const std::size_t length = std::min(*got, want);
            if (!Put(out, buffer.data(), length, result)) return result;
            hash.Add(buffer.data(), length);
            pos += length;
            if (!onBlock(length)) {
                result.end = RecoveredFile::End::Stopped;
                return result;
            }
            continue;
        }
        if (!got && !careful && want > archive::kRecoveryStep) {
            carefulUntil = end;
            continue;
        }
        // A failed step, or the file ends before its size: what cannot be read is zeros.
        const std::uint64_t skipTo = got ? size : archive::StepEnd(pos, size);
        if (zeros.empty()) zeros.resize(archive::kRecoveryStep + archive::kSector);
        for (std::uint64_t at = pos; at < skipTo;) {
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), skipTo - at));
            if (!Put(out, zeros.data(), length, result)) return result;
            hash.Add(zeros.data(), length);
            at += length;
            if (!onBlock(length)) {
                result.end = RecoveredFile::End::Stopped;
                return result;
            }
        }
        archive::AddDamage(result.damaged, pos, skipTo);
        pos = skipTo;
    }
    if (std::optional<std::string> digest = hash.Finish()) {
        result.sha256 = std::move(*digest);
    } else {
        result.end = RecoveredFile::End::HashFailed;
    }
    return result;
}

}  // namespace dravolin::win32
