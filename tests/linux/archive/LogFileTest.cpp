// The run's log on the disk: what stands under its name, and what a failing disk leaves of it.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "archive/ArchiveLog.h"
#include "platform/linux/archive/LogFile.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {
namespace {

namespace fs = std::filesystem;

archive::LogRow Row(const std::string& label) {
    archive::LogRow row;
    row.drive = "E";
    row.label = label;
    row.result = archive::DiscResult::Complete;
    return row;
}

struct HostileCase {
    const char* name;
    // Puts something that is not a log at `path`; `elsewhere` is a folder for what it needs.
    std::function<void(const std::string& path, const std::string& elsewhere)> make;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileLogEntries : public ::testing::TestWithParam<HostileCase> {};

// Nobody writes to a FIFO put in the log's place: a reader that waited for one would hold its
// drive for ever. Whatever stands there is left as it is, and no row goes anywhere else.
TEST_P(HostileLogEntries, AreRefusedAtOnceAndLeftAsTheyAre) {
    TempFolder temp;
    const std::string folder = temp / "bags", path = folder + "/archive-log.csv";
    MakeFolder(folder);
    MakeFolder(temp / "elsewhere");
    GetParam().make(path, temp / "elsewhere");
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);

    auto tried = std::async(std::launch::async, [&] {
        CopyIo io;
        return std::make_pair(ReadLogFile(folder), AppendLogRow(io, folder, Row("X")));
    });
    if (tried.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Let a reader stuck on a FIFO go, so that the test ends.
        const UniqueFd writer(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        ADD_FAILURE() << "still waiting after 10 s";
    }
    const auto [text, appended] = tried.get();
    EXPECT_EQ(text, "");
    EXPECT_FALSE(appended);
    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
    for (const auto& entry : fs::directory_iterator(temp / "elsewhere")) {
        EXPECT_EQ(fs::file_size(entry.path()), 0u) << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Archive, HostileLogEntries,
    ::testing::Values(HostileCase{"Fifo",
                                  [](const std::string& path, const std::string&) {
                                      ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0)
                                          << std::strerror(errno);
                                  }},
                      HostileCase{"Folder", [](const std::string& path,
                                               const std::string&) { MakeFolder(path); }},
                      HostileCase{"LinkToAFileElsewhere",
                                  [](const std::string& path, const std::string& elsewhere) {
                                      WriteFile(elsewhere + "/victim", "");
                                      fs::create_symlink(elsewhere + "/victim", path);
                                  }},
                      HostileCase{
                          "Socket",
                          [](const std::string& path, const std::string&) {
                              const UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
                              sockaddr_un address{};
                              address.sun_family = AF_UNIX;
                              ASSERT_LT(path.size(), sizeof address.sun_path);
                              std::memcpy(address.sun_path, path.c_str(), path.size());
                              ASSERT_EQ(::bind(s.Get(), reinterpret_cast<const sockaddr*>(&address),
                                               sizeof address),
                                        0)
                                  << std::strerror(errno);
                          }}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailingDiskCase {
    const char* name;
    std::function<void(FaultyIo& io, std::size_t logSize)> fail;
};

void PrintTo(const FailingDiskCase& c, std::ostream* os) {
    *os << c.name;
}

class RowsTheDiskDidNotKeep : public ::testing::TestWithParam<FailingDiskCase> {};

// A row counts only once it is on the disk: one the disk did not take, or may have lost, is
// reported and cut off again, so the log holds what it held before.
TEST_P(RowsTheDiskDidNotKeep, AreReportedAndCutOff) {
    TempFolder temp;
    const std::string folder = temp / "bags";
    CopyIo plain;
    ASSERT_TRUE(AppendLogRow(plain, folder, Row("FIRST")));
    const std::string before = ReadFile(folder + "/archive-log.csv");

    FaultyIo io;
    GetParam().fail(io, before.size());
    EXPECT_FALSE(AppendLogRow(io, folder, Row("SECOND")));
    EXPECT_EQ(ReadFile(folder + "/archive-log.csv"), before);
}

INSTANTIATE_TEST_SUITE_P(Archive, RowsTheDiskDidNotKeep,
                         ::testing::Values(FailingDiskCase{"FlushFails",
                                                           [](FaultyIo& io, std::size_t) {
                                                               io.syncFailures = 1;
                                                           }},
                                           FailingDiskCase{"DiskFullHalfway",
                                                           [](FaultyIo& io, std::size_t size) {
                                                               io.writeLimit = size + 10;
                                                           }}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::lnx::test
