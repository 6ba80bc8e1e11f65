// The program's start-up raises the descriptor limit a desktop session gives it.
#include <sys/resource.h>
#include <gtest/gtest.h>
#include "CopyTestSupport.h"
#include "platform/linux/io/DescriptorLimit.h"

namespace dravolin::lnx::test {
namespace {

TEST(DescriptorLimit, TheProgramRaisesItsSoftLimitToTheHardOne) {
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max <= 256) GTEST_SKIP() << "the hard limit is already " << before.rlim_max;
    const ScopedDescriptorLimit session(256);
    ASSERT_TRUE(session.Applied());

    const rlim_t raised = RaiseDescriptorLimit();

    rlimit now{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
    EXPECT_EQ(now.rlim_cur, now.rlim_max);
    EXPECT_EQ(raised, now.rlim_cur);
}

}  // namespace
}  // namespace dravolin::lnx::test
