#include "platform/linux/copy/RecoveringRead.h"

#include <sys/stat.h>
#include <cerrno>

namespace dravolin::lnx {

namespace {

constexpr std::size_t kBufferSize = archive::kReadBlock;
constexpr std::uint64_t kWritebackBlock = 1u << 20;

// The file open for reading and its copy open for writing, the digest taken by the hasher from
// the block it lent for the read.
class FileEnds : public archive::CopyEnds {
  public:
    FileEnds(CopyIo& io, BlockHasher& hasher, int in, int out,
             const std::function<bool(std::uint64_t)>& onBlock)
        : io_(io), hasher_(hasher), in_(in), out_(out), onBlock_(onBlock) {}

    int ErrorNumber() const { return errorNumber_; }

    char* Buffer(std::size_t) override { return block_ = hasher_.Block(); }

    std::optional<std::size_t> Read(std::uint64_t pos, char* buffer, std::size_t length) override {
        for (;;) {
            const ssize_t got = io_.Read(in_, buffer, length, static_cast<off_t>(pos));
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return std::nullopt;
        }
    }

    bool Put(std::uint64_t pos, const char* bytes, std::size_t length) override {
        for (std::size_t written = 0; written < length;) {
            const ssize_t n = io_.Write(out_, bytes + written, length - written,
                                        static_cast<off_t>(pos + written));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                errorNumber_ = n < 0 ? errno : ENOSPC;
                return false;
            }
            written += static_cast<std::size_t>(n);
        }
        if (bytes == block_) {
            hasher_.Add(length);
        } else {
            hasher_.Add(bytes, length);
        }
        if (length >= kWritebackBlock) {
            io_.StartWriteback(out_, static_cast<off_t>(pos), static_cast<off_t>(length));
        }
        return true;
    }

    bool Written(std::size_t length) override { return onBlock_(length); }

  private:
    CopyIo& io_;
    BlockHasher& hasher_;
    int in_;
    int out_;
    const std::function<bool(std::uint64_t)>& onBlock_;
    char* block_ = nullptr;
    int errorNumber_ = 0;
};

}  // namespace

RecoveringRead::RecoveringRead(CopyIo& io) : io_(io) {}

RecoveringRead::~RecoveringRead() = default;

RecoveringRead::Result RecoveringRead::Copy(int in, int out, std::uint64_t size,
                                            const std::function<bool(std::uint64_t)>& onBlock) {
    if (!hasher_) hasher_ = std::make_unique<BlockHasher>(kBufferSize);
    hasher_->Start(size > kBufferSize);
    FileEnds ends(io_, *hasher_, in, out, onBlock);
    archive::RecoveredBytes copied = archive::CopyRecovering(ends, size);
    Result result;
    result.errorNumber = ends.ErrorNumber();
    result.cancelled = copied.end == archive::RecoveredBytes::End::Stopped;
    result.damaged = std::move(copied.damaged);
    struct stat now {};
    if (copied.end == archive::RecoveredBytes::End::Done) {
        if (::fstat(in, &now) == 0 && static_cast<std::uint64_t>(now.st_size) > size) {
            result.changed = true;
        } else {
            result.ok = true;
        }
    }
    if (result.ok) {
        result.sha256 = hasher_->Finish();
    } else {
        hasher_->Drop();
    }
    return result;
}

}  // namespace dravolin::lnx
