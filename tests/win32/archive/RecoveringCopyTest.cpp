#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <utility>
#include <string>
#include <vector>
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/RecoveringCopy.h"
#include "platform/win32/archive/Sha256.h"

namespace dravolin::win32 {
namespace {

using archive::ByteRange;

// A disc's file that fails where told: a read touching a bad range fails (every time, or only
// the first time it is tried at that place), and the file may end before its size.
class FakeReader : public BlockReader {
  public:
    FakeReader(std::string bytes, std::vector<ByteRange> bad, bool once, std::uint64_t endsAt)
        : bytes_(std::move(bytes)), bad_(std::move(bad)), once_(once), endsAt_(endsAt) {}

    std::optional<std::size_t> Read(std::uint64_t pos, char* buffer, std::size_t length) override {
        for (const ByteRange& range : bad_) {
            if (pos < range.end && pos + length > range.begin) {
                ++readsOfBad_[{pos, length}];
                if (!once_ || readsOfBad_[{pos, length}] == 1) return std::nullopt;
            }
        }
        if (pos >= endsAt_) return 0;
        const std::size_t got =
            static_cast<std::size_t>(std::min<std::uint64_t>(length, endsAt_ - pos));
        std::copy_n(bytes_.data() + pos, got, buffer);
        return got;
    }
    // How often each read (position, length) that touched a bad range was tried.
    const std::map<std::pair<std::uint64_t, std::size_t>, int>& ReadsOfBad() const {
        return readsOfBad_;
    }

  private:
    std::string bytes_;
    std::vector<ByteRange> bad_;
    bool once_;
    std::uint64_t endsAt_;
    std::map<std::pair<std::uint64_t, std::size_t>, int> readsOfBad_;
};

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
    return bytes;
}

TEST(RecoveringCopyTest, WhatTheDiscCannotGiveBecomesZerosInWholeSteps) {
    constexpr std::uint64_t kSize = 3u << 20;  // three large reads
    struct Case {
        const char* name;
        std::vector<ByteRange> bad;
        bool once;
        std::uint64_t endsAt;
        std::vector<ByteRange> damaged;
    };
    const Case cases[] = {
        {"whole", {}, false, kSize, {}},
        // One bad sector: the large read fails twice, then 32 KiB steps from the read's start.
        {"sector", {{1100000, 1100100}}, false, kSize, {{1081344, 1114112}}},
        // Two bad steps side by side: one range.
        {"adjacent", {{1050000, 1050001}, {1090000, 1090001}}, false, kSize, {{1048576, 1114112}}},
        // A read that fails once and then works: tried again, nothing lost.
        {"transient", {{2000000, 2000001}}, true, kSize, {}},
        // A file that ends before its size: the rest is zeros.
        {"short", {}, false, kSize - 5000, {{kSize - 5000, kSize}}},
        // The last step is cut at the file's end.
        {"tail", {{kSize - 10, kSize - 9}}, false, kSize, {{kSize - 32768, kSize}}},
    };
    const std::string bytes = Pattern(kSize);
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring path = std::wstring(folder) + L"dravolin-recovering-copy.bin";
    Sha256 hash;
    for (const Case& c : cases) {
        FakeReader reader(bytes, c.bad, c.once, c.endsAt);
        std::string expected = bytes;
        for (const ByteRange& range : c.damaged) {
            std::fill(expected.begin() + static_cast<std::ptrdiff_t>(range.begin),
                      expected.begin() + static_cast<std::ptrdiff_t>(range.end), '\0');
        }
        std::uint64_t reported = 0;
        RecoveredFile copied;
        {
            const UniqueHandle out(
                ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            ASSERT_TRUE(out.Valid());
            copied = CopyRecovering(reader, out.Get(), kSize, hash, [&](std::uint64_t n) {
                reported += n;
                return true;
            });
        }
        EXPECT_EQ(copied.end, RecoveredFile::End::Done) << c.name;
        EXPECT_EQ(copied.damaged, c.damaged) << c.name;
        EXPECT_EQ(reported, kSize) << c.name;
        Sha256 check;
        check.Add(expected.data(), expected.size());
        EXPECT_EQ(copied.sha256, check.Finish().value_or("")) << c.name;
        // Every failing read was tried exactly twice.
        for (const auto& [read, reads] : reader.ReadsOfBad()) {
            EXPECT_EQ(reads, 2) << c.name << " at " << read.first;
        }
        const UniqueHandle in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        std::string written(kSize + 1, '\0');
        DWORD got = 0;
        ASSERT_TRUE(::ReadFile(in.Get(), written.data(), static_cast<DWORD>(written.size()), &got,
                               nullptr));
        written.resize(got);
        EXPECT_TRUE(written == expected) << c.name << ": " << got << " bytes";
    }
    ::DeleteFileW(path.c_str());
}

// A full target disk ends the file with the system's word for it.
TEST(RecoveringCopyTest, AWriteToAFullDiskStopsTheFile) {
    FakeReader reader(Pattern(100000), {}, false, 100000);
    const UniqueHandle full(::CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(full.Valid()) << ::GetLastError();
    Sha256 hash;
    const RecoveredFile copied =
        CopyRecovering(reader, full.Get(), 100000, hash, [](std::uint64_t) { return true; });
    EXPECT_EQ(copied.end, RecoveredFile::End::WriteFailed);
    EXPECT_EQ(copied.error, static_cast<DWORD>(ERROR_DISK_FULL));
}

}  // namespace
}  // namespace dravolin::win32
