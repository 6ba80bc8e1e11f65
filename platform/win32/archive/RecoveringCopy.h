#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "archive/BagRecord.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

class Sha256;

// Where an archive copy reads a file's bytes: the disc's file, or in tests a fake that fails
// where it is told to.
class BlockReader {
  public:
    virtual ~BlockReader() = default;
    // Bytes read at `pos` (0 at the end of the file), or nothing when the read failed.
    virtual std::optional<std::size_t> Read(std::uint64_t pos, char* buffer,
                                            std::size_t length) = 0;
};

// A file open for reading, read at any position.
class HandleReader : public BlockReader {
  public:
    explicit HandleReader(HANDLE file) : file_(file) {}
    std::optional<std::size_t> Read(std::uint64_t pos, char* buffer, std::size_t length) override;

  private:
    HANDLE file_;
};

struct RecoveredFile {
    enum class End { Done, Stopped, WriteFailed, HashFailed };
    End end = End::Done;
    DWORD error = 0;  // with WriteFailed
    std::string sha256;
    std::vector<archive::ByteRange> damaged;  // in order, adjacent ones joined
};

// Copies `size` bytes from `in` to the file open at `out` (written from its start), hashing
// what is written, and keeps going past what the disc cannot read, by the portable rule
// (archive::CopyRecovering): the copy always holds `size` bytes.
// `hash` is restarted first. `onBlock(bytes)` after every block written; false stops the copy.
RecoveredFile CopyRecovering(BlockReader& in, HANDLE out, std::uint64_t size, Sha256& hash,
                             const std::function<bool(std::uint64_t)>& onBlock);

}  // namespace dravolin::win32
