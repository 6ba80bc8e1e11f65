// A rescue map as the field's own tool reads it: ddrescuelog finds the sizes the map counts.
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include "LinuxTestSupport.h"
#include "archive/RescueMap.h"

namespace dravolin::lnx::test {
namespace {

using archive::BlockState;

// ddrescuelog -t's size of one kind of area, in bytes ("rescued:   131072 B, in 2 area(s)").
long long ToolBytes(const std::string& said, const std::string& kind) {
    std::smatch found;
    if (!std::regex_search(said, found, std::regex(kind + ": +([0-9]+) B,"))) return -1;
    return std::stoll(found[1]);
}

TEST(RescueMapTools, DdrescuelogCountsWhatTheMapCounts) {
    archive::RescueMap map(0x3F000);
    map.Mark(0, 0x3F000, BlockState::Rescued);
    map.Mark(0x10000, 0x800, BlockState::Bad);
    map.Mark(0x12000, 0x1800, BlockState::NonScraped);
    map.Mark(0x20000, 0x8000, BlockState::NonTrimmed);
    map.Mark(0x30000, 0x4000, BlockState::NonTried);
    map.Mark(0x3E800, 0x800, BlockState::Bad);
    TempFolder folder;
    WriteFile(folder / "disc.map",
              archive::MapText(map, {0x30000, '?', 2}, "# Mapfile. Created by Dravolin"));
    std::string said;
    ASSERT_EQ(RunProgram({"ddrescuelog", "-t", folder / "disc.map"}, &said), 0) << said;
    EXPECT_EQ(ToolBytes(said, "rescued"), map.Bytes(BlockState::Rescued)) << said;
    EXPECT_EQ(ToolBytes(said, "bad-sector"), map.Bytes(BlockState::Bad)) << said;
    EXPECT_EQ(ToolBytes(said, "non-tried"), map.Bytes(BlockState::NonTried)) << said;
    EXPECT_EQ(ToolBytes(said, "non-trimmed"), map.Bytes(BlockState::NonTrimmed)) << said;
    EXPECT_EQ(ToolBytes(said, "non-scraped"), map.Bytes(BlockState::NonScraped)) << said;
    EXPECT_EQ(ToolBytes(said, "mapfile extent"), 0x3F000) << said;
    // Its list of bad 2048-byte sectors is the map's.
    ASSERT_EQ(RunProgram({"ddrescuelog", "-b", "2048", "-l-", folder / "disc.map"}, &said), 0);
    EXPECT_EQ(said, "32\n125\n");
}

}  // namespace
}  // namespace dravolin::lnx::test
