#include "platform/win32/archive/RecoveringCopy.h"

#include <algorithm>
#include "archive/Recovery.h"
#include "platform/win32/archive/Sha256.h"

namespace dravolin::win32 {

namespace {

// The disc's file and the copy open for writing, hashed as it is written.
class HandleEnds : public archive::CopyEnds {
  public:
    HandleEnds(BlockReader& in, HANDLE out, Sha256& hash,
               const std::function<bool(std::uint64_t)>& onBlock)
        : in_(in), out_(out), hash_(hash), onBlock_(onBlock) {}

    DWORD Error() const { return error_; }

    char* Buffer(std::size_t length) override {
        if (buffer_.size() < length) buffer_.resize(length);
        return buffer_.data();
    }

    std::optional<std::size_t> Read(std::uint64_t pos, char* buffer, std::size_t length) override {
        return in_.Read(pos, buffer, length);
    }

    // The copy is written in order: the file's own position is `pos`.
    bool Put(std::uint64_t, const char* bytes, std::size_t length) override {
        for (std::size_t done = 0; done < length;) {
            DWORD written = 0;
            const DWORD piece = static_cast<DWORD>(std::min(length - done, archive::kReadBlock));
            if (!::WriteFile(out_, bytes + done, piece, &written, nullptr) || written == 0) {
                error_ = written == 0 && ::GetLastError() == 0 ? ERROR_DISK_FULL : ::GetLastError();
                return false;
            }
            done += written;
        }
        hash_.Add(bytes, length);
        return true;
    }

    bool Written(std::size_t length) override { return onBlock_(length); }

  private:
    BlockReader& in_;
    HANDLE out_;
    Sha256& hash_;
    const std::function<bool(std::uint64_t)>& onBlock_;
    std::vector<char> buffer_;
    DWORD error_ = 0;
};

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
    HandleEnds ends(in, out, hash, onBlock);
    archive::RecoveredBytes copied = archive::CopyRecovering(ends, size);
    result.damaged = std::move(copied.damaged);
    switch (copied.end) {
        case archive::RecoveredBytes::End::Stopped:
            result.end = RecoveredFile::End::Stopped;
            return result;
        case archive::RecoveredBytes::End::WriteFailed:
            result.end = RecoveredFile::End::WriteFailed;
            result.error = ends.Error();
            return result;
        case archive::RecoveredBytes::End::Done:
            break;
    }
    if (std::optional<std::string> digest = hash.Finish()) {
        result.sha256 = std::move(*digest);
    } else {
        result.end = RecoveredFile::End::HashFailed;
    }
    return result;
}

}  // namespace dravolin::win32
