#include <gtest/gtest.h>
#include "engine/DriveEntry.h"

namespace dravolin {
namespace {

TEST(DrivePath, FillsEveryPattern) {
    EXPECT_EQ(DrivePath(kDeviceRootPattern, 'E'), "\\\\.\\E:\\");
    EXPECT_EQ(DrivePath(kShellRootPattern, 'E'), "E:\\");
    EXPECT_EQ(DrivePath(kDevicePathPattern, 'D'), "\\\\.\\D:");
    EXPECT_EQ(DrivePath(kCopySourcePattern, 'Z'), "Z:\\*.*");
}

}  // namespace
}  // namespace dravolin
