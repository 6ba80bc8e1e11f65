// Paranoia's callback reports made samples of one track.
#include <cdio/paranoia/paranoia.h>
#include <gtest/gtest.h>
#include <optional>
#include <vector>
#include "platform/linux/audio/RipDamage.h"

namespace dravolin::lnx {
namespace {

using archive::SampleRange;

constexpr long kRipDamageTestWords = CD_FRAMEWORDS;  // a sector's 16-bit words
constexpr std::uint64_t kRipDamageTestFrames = archive::kSamplesPerSector;

TEST(RipDamageTest, EventsBecomeTheSectorsTheyTouch) {
    // A track of 100 sectors from sector 1000.
    const struct {
        const char* name;
        long position;
        int event;
        std::optional<SampleRange> damage;
    } cases[] = {
        {"a skip at the track's start", 1000 * kRipDamageTestWords, PARANOIA_CB_SKIP,
         SampleRange{0, 2 * kRipDamageTestFrames}},
        {"a skip within a sector", 1010 * kRipDamageTestWords + 5, PARANOIA_CB_SKIP,
         SampleRange{10 * kRipDamageTestFrames, 13 * kRipDamageTestFrames}},
        {"a skip at the last sector", 1099 * kRipDamageTestWords, PARANOIA_CB_SKIP,
         SampleRange{99 * kRipDamageTestFrames, 100 * kRipDamageTestFrames}},
        {"a skip before the track reaching into it", 999 * kRipDamageTestWords + 600,
         PARANOIA_CB_SKIP, SampleRange{0, 2 * kRipDamageTestFrames}},
        {"a skip two sectors before the track", 998 * kRipDamageTestWords, PARANOIA_CB_SKIP,
         std::nullopt},
        {"a skip past the track", 1100 * kRipDamageTestWords, PARANOIA_CB_SKIP, std::nullopt},
        {"a read error, read again", 1050 * kRipDamageTestWords, PARANOIA_CB_READERR, std::nullopt},
        {"dropped bytes put back", 1050 * kRipDamageTestWords, PARANOIA_CB_FIXUP_DROPPED,
         std::nullopt},
        {"a verified read", 1050 * kRipDamageTestWords, PARANOIA_CB_VERIFY, std::nullopt},
        {"no place", -1, PARANOIA_CB_SKIP, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<SampleRange> damage =
            DamageOfParanoiaEvent(c.position, c.event, 1000, 100);
        ASSERT_EQ(damage.has_value(), c.damage.has_value());
        if (damage) {
            EXPECT_EQ(*damage, *c.damage);
        }
    }
}

TEST(RipDamageTest, RangesStayInOrderAndJoined) {
    const struct {
        const char* name;
        std::vector<SampleRange> added;
        std::vector<SampleRange> ranges;
    } cases[] = {
        {"apart, out of order", {{50, 60}, {10, 20}, {30, 40}}, {{10, 20}, {30, 40}, {50, 60}}},
        {"touching", {{10, 20}, {20, 30}}, {{10, 30}}},
        {"touching, the later first", {{20, 30}, {10, 20}}, {{10, 30}}},
        {"one bridging two", {{10, 20}, {30, 40}, {15, 35}}, {{10, 40}}},
        {"one inside another", {{10, 40}, {20, 30}}, {{10, 40}}},
        {"the same twice", {{10, 20}, {10, 20}}, {{10, 20}}},
        {"empty", {{10, 10}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SampleRange> ranges;
        for (const SampleRange& range : c.added) AddDamage(ranges, range);
        EXPECT_EQ(ranges, c.ranges);
    }
}

TEST(RipDamageTest, WhatWasNeverWrittenIsDropped) {
    const struct {
        std::uint64_t end;
        std::vector<SampleRange> ranges;
    } cases[] = {
        {100, {{10, 20}, {30, 40}}},
        {35, {{10, 20}, {30, 35}}},
        {30, {{10, 20}}},
        {0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        std::vector<SampleRange> ranges = {{10, 20}, {30, 40}};
        KeepDamageBefore(ranges, c.end);
        EXPECT_EQ(ranges, c.ranges);
    }
}

}  // namespace
}  // namespace dravolin::lnx
