#include "platform/linux/copy/RecoveringRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include "archive/UnreadFill.h"

namespace dravolin::lnx {

namespace {

constexpr std::size_t kRecoveringBuffer = archive::kReadBlock;
constexpr std::uint64_t kRecoveringWriteback = 1u << 20;

// The file open for reading and its copy open for writing, the digest taken by the hasher from
// the block it lent for the read.
class FileEnds : public archive::CopyEnds {
  public:
    FileEnds(CopyIo& io, BlockHasher& hasher, int in, int out,
             const std::function<bool(std::uint64_t)>& onBlock, ImageFill* fill)
        : io_(io), hasher_(hasher), in_(in), out_(out), onBlock_(onBlock), fill_(fill) {}

    int ErrorNumber() const { return errorNumber_; }
    // Where the image's fill stood for what the disc did not give.
    const std::vector<ByteRange>& Filled() const { return filled_; }

    char* Buffer(std::size_t) override { return block_ = hasher_.Block(); }

    std::optional<std::size_t> Read(std::uint64_t pos, char* buffer, std::size_t length) override {
        if (!fill_) return ReadOnce(pos, buffer, length);
        // Whole: the fill is told sector by sector, so a block must not end inside one but at
        // the file's end.
        std::size_t got = 0;
        while (got < length) {
            const std::optional<std::size_t> more = ReadOnce(pos + got, buffer + got, length - got);
            if (!more) return std::nullopt;
            if (*more == 0) break;
            got += *more;
        }
        archive::ScrubFill(
            fill_->Fill(), std::span<char>(buffer, got), pos, filled_,
            [&](std::uint64_t at, std::span<char> out) {
                // The file's own pages of it must go, or the read would give
                // what it gave before the switch.
                if (!fill_->Switch() ||
                    ::posix_fadvise(in_, static_cast<off_t>(at), static_cast<off_t>(out.size()),
                                    POSIX_FADV_DONTNEED) != 0) {
                    return false;
                }
                const std::optional<std::size_t> again = ReadOnce(at, out.data(), out.size());
                return again && *again == out.size();
            });
        return got;
    }

    bool Put(std::uint64_t pos, const char* bytes, std::size_t length) override {
        errorNumber_ = WriteAll(io_, out_, bytes, length, static_cast<off_t>(pos));
        if (errorNumber_ != 0) return false;
        if (bytes == block_) {
            hasher_.Add(length);
        } else {
            hasher_.Add(bytes, length);
        }
        if (length >= kRecoveringWriteback) {
            io_.StartWriteback(out_, static_cast<off_t>(pos), static_cast<off_t>(length));
        }
        return true;
    }

    bool Written(std::size_t length) override { return onBlock_(length); }

  private:
    std::optional<std::size_t> ReadOnce(std::uint64_t pos, char* buffer, std::size_t length) {
        for (;;) {
            const ssize_t got = io_.Read(in_, buffer, length, static_cast<off_t>(pos));
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return std::nullopt;
        }
    }

    CopyIo& io_;
    BlockHasher& hasher_;
    int in_;
    int out_;
    const std::function<bool(std::uint64_t)>& onBlock_;
    ImageFill* fill_;
    std::vector<ByteRange> filled_;
    char* block_ = nullptr;
    int errorNumber_ = 0;
};

}  // namespace

RecoveringRead::RecoveringRead(CopyIo& io) : io_(io) {}

RecoveringRead::~RecoveringRead() = default;

RecoveringRead::Result RecoveringRead::Copy(int in, int out, std::uint64_t size,
                                            const std::function<bool(std::uint64_t)>& onBlock,
                                            ImageFill* fill) {
    if (!hasher_) hasher_ = std::make_unique<BlockHasher>(kRecoveringBuffer);
    hasher_->Start(size > kRecoveringBuffer);
    FileEnds ends(io_, *hasher_, in, out, onBlock, fill);
    archive::RecoveredBytes copied = archive::CopyRecovering(ends, size);
    Result result;
    result.errorNumber = ends.ErrorNumber();
    result.cancelled = copied.end == archive::RecoveredBytes::End::Stopped;
    result.damaged =
        fill ? archive::MergeDamage(copied.damaged, ends.Filled()) : std::move(copied.damaged);
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
