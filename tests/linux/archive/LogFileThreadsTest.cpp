// The run's log appended by several drives at once: every row whole, one header.
#include <gtest/gtest.h>
#include <thread>
#include <vector>
#include "LinuxTestSupport.h"
#include "archive/ArchiveLog.h"
#include "platform/linux/archive/LogFile.h"

namespace dravolin::lnx::test {
namespace {

TEST(ArchiveLogFile, DrivesAppendingAtOnceLeaveEveryRowWholeUnderOneHeader) {
    TempFolder temp;
    const std::string folder = temp / "bags";
    constexpr int kDrives = 4, kDiscs = 100;
    CopyIo io;
    std::vector<std::thread> drives;
    for (int d = 0; d < kDrives; ++d) {
        drives.emplace_back([&, d] {
            for (int n = 0; n < kDiscs; ++n) {
                archive::LogRow row;
                row.drive = std::string(1, static_cast<char>('D' + d));
                row.label = "disc " + std::to_string(n);
                row.files = static_cast<std::uint64_t>(n);
                row.result = archive::DiscResult::Complete;
                EXPECT_TRUE(AppendLogRow(io, folder, row));
            }
        });
    }
    for (std::thread& drive : drives) drive.join();

    const std::string text = ReadLogFile(folder);
    EXPECT_EQ(text.rfind(archive::HeaderLine(), 0), 0u);
    EXPECT_EQ(text.find(archive::HeaderLine(), 1), std::string::npos) << "a second header";
    const std::vector<archive::LogRow> rows = archive::ParseLog(text);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kDrives * kDiscs));
    std::vector<int> next(kDrives, 0);
    for (const archive::LogRow& row : rows) {
        const int d = row.drive[0] - 'D';
        EXPECT_EQ(row.label, "disc " + std::to_string(next[d]++)) << "a drive's rows out of order";
    }
}

}  // namespace
}  // namespace dravolin::lnx::test
