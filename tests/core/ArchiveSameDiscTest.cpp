// Whether a disc is copied or logged "already archived", on the fake archiver: the target's log,
// the bags in it (some without their row), and another drive holding the same disc's claim.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include "archive/ArchiveLog.h"
#include "archive/BagText.h"
#include "engine/ArchiveDisc.h"
#include "platform/fake/CallLog.h"
#include "platform/fake/FakeArchiver.h"

namespace dravolin::archive {
namespace {

const std::string kArchiveTarget = "C:\\Copies\\";
const std::string kDisc = std::string(63, 'd') + "1";
const std::string kOther = std::string(63, 'd') + "2";
constexpr std::uint32_t kFingerprint = 0x1a2b3c4d;

LogRow Row(std::string identity, DiscResult result, std::string bagFolder,
           std::string label = "DATA") {
    LogRow row;
    row.drive = "F";
    row.label = std::move(label);
    row.fingerprint = kFingerprint;
    row.identity = std::move(identity);
    row.result = result;
    row.bagFolder = std::move(bagFolder);
    return row;
}

// A bag's bag-info.txt as the writers make it.
std::string BagInfoOf(const std::string& identity, const std::string& result,
                      const std::string& label = "DATA",
                      const std::string& ended = "2026-01-01T10:05:00+0100") {
    return BagInfo({{"Bagging-Date", "2026-01-01"},
                    {"Payload-Oxum", "30.3"},
                    {"External-Identifier", label},
                    {"Dravolin-Drive", "F: /dev/sr1"},
                    {"Dravolin-Volume-Label", label},
                    {"Dravolin-Fingerprint", "1a2b3c4d"},
                    {kFieldIdentity, identity},
                    {"Dravolin-Started", "2026-01-01T10:00:00+01:00"},
                    {kFieldResult, result},
                    {kFieldDamagedFiles, "0"},
                    {kFieldEnded, ended}});
}

struct SameDiscCase {
    const char* name;
    std::vector<LogRow> log;
    std::vector<std::pair<std::string, std::string>> bags;  // folder name, bag-info.txt
    std::optional<LogRow> meanwhile;  // written by a drive that held the claim first
    std::string label;                // the disc as read now
    std::string identity;
    bool copied;
    std::string archivedIn;
    std::vector<std::string> newRows;  // "result, bag, drive, files/bytes, end[, note]" of each
    std::string earlier = {};          // the bag the platform was asked to read on from
    fake::FakeBagScript script = {};
    std::string notified = {};  // the notification, where it matters
};

void PrintTo(const SameDiscCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Describe(const LogRow& row) {
    return std::string(ResultWord(row.result)) + ", " + row.bagFolder + ", " + row.drive + ", " +
           std::to_string(row.files) + "/" + std::to_string(row.bytes) + ", " + row.end +
           (row.note.empty() ? "" : ", " + row.note);
}

const std::string kNow = "2026-12-08T14:03:11+01:00";  // the fake archiver's clock
const std::string kCopied = "complete, DATA 2026-12-08 1a2b3c4d, E, 0/0, " + kNow;
const std::string kAlready = "already archived, , E, 0/0, " + kNow;

class SameDisc : public ::testing::TestWithParam<SameDiscCase> {};

TEST_P(SameDisc, IsCopiedUnlessTheTargetHoldsItsCompleteBag) {
    const SameDiscCase& c = GetParam();
    fake::CallLog calls;
    fake::FakeArchiver archiver(calls);
    std::string log;
    for (const LogRow& row : c.log) log += AppendText(log, row);
    archiver.SetLogText(kArchiveTarget, log);
    for (const auto& [name, info] : c.bags) archiver.AddBagInfo(kArchiveTarget, name, info);
    if (c.meanwhile) {
        archiver.OnClaim([&] {
            const std::string now = archiver.LogText(kArchiveTarget);
            archiver.SetLogText(kArchiveTarget, now + AppendText(now, *c.meanwhile));
        });
    }
    archiver.SetDisc('E', {c.label, kFingerprint, c.identity});
    archiver.ScriptBag(kFingerprint, c.script);
    ArchiveSettings settings;
    settings.options.on = true;
    settings.texts.complete = "complete: %1";
    settings.texts.nothingGained = "nothing gained: %1";

    const ArchivedDisc archived =
        ArchiveDisc(archiver, settings, DiscToArchive{'E', 0, kArchiveTarget, "ROW", 0x1111, {}});

    ASSERT_EQ(archiver.Bags().size(), c.copied ? 1u : 0u);
    if (c.copied) {
        EXPECT_EQ(archiver.Bags()[0].earlier, c.earlier);
    }
    if (!c.notified.empty()) {
        EXPECT_THAT(calls.Matching("Notify"), ::testing::ElementsAre(c.notified));
    }
    EXPECT_EQ(archived.archivedIn, c.archivedIn);
    const std::vector<LogRow> rows = ParseLog(archiver.LogText(kArchiveTarget));
    const std::size_t before = c.log.size() + (c.meanwhile ? 1 : 0);
    ASSERT_GE(rows.size(), before);
    std::vector<std::string> added;
    for (std::size_t i = before; i < rows.size(); ++i) added.push_back(Describe(rows[i]));
    EXPECT_THAT(added, ::testing::ElementsAreArray(c.newRows));
    // The claim spans the decision and every row written of it.
    std::vector<std::string> order;
    for (const std::string& line : calls.Lines()) {
        for (const char* call : {"Claim", "ReadLog", "AppendLog", "Release", "WritePage"}) {
            if (line.starts_with(call)) order.push_back(call);
        }
    }
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.front(), c.identity.empty() ? "ReadLog" : "Claim");
    // The page is written once the disc's row is there, outside the claim.
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order.back(), "WritePage");
    EXPECT_EQ(order[order.size() - 2], c.identity.empty() ? "AppendLog" : "Release");
}

INSTANTIATE_TEST_SUITE_P(
    Archive, SameDisc,
    ::testing::Values(
        SameDiscCase{"EmptyLog", {}, {}, {}, "DATA", kDisc, true, "", {kCopied}},
        SameDiscCase{"CompleteBag",
                     {Row(kDisc, DiscResult::Complete, "A")},
                     {},
                     {},
                     "DATA",
                     kDisc,
                     false,
                     "A",
                     {kAlready}},
        SameDiscCase{"SameFingerprintOtherDisc",
                     {Row(kOther, DiscResult::Complete, "A")},
                     {},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"SameIdentityOtherLabel",
                     {Row(kDisc, DiscResult::Complete, "A", "DATA2")},
                     {},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"RowWrittenBeforeIdentities",
                     {Row("", DiscResult::Complete, "A")},
                     {},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"DiscWithoutIdentity",
                     {Row("", DiscResult::Complete, "A")},
                     {{"A", BagInfoOf("", "complete")}},
                     {},
                     "DATA",
                     "",
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"OnlyIncompleteBags",
                     {Row(kDisc, DiscResult::Incomplete, "A (incomplete)"),
                      Row(kDisc, DiscResult::TargetFull, "A (2) (incomplete)")},
                     {},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"CompleteAfterIncomplete",
                     {Row(kDisc, DiscResult::Incomplete, "A (incomplete)"),
                      Row(kDisc, DiscResult::Complete, "A")},
                     {},
                     {},
                     "DATA",
                     kDisc,
                     false,
                     "A",
                     {kAlready}},
        SameDiscCase{"NoBagRows",
                     {Row(kDisc, DiscResult::NoFileSystem, ""), Row(kDisc, DiscResult::Failed, ""),
                      Row(kDisc, DiscResult::AlreadyArchived, "A")},
                     {},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"BagWhoseRowWasLost",
                     {},
                     {{"A", BagInfoOf(kDisc, "complete")}},
                     {},
                     "DATA",
                     kDisc,
                     false,
                     "A",
                     {"complete, A, F, 3/30, 2026-01-01T10:05:00+01:00", kAlready}},
        SameDiscCase{"BagWhoseRowWasLostLabelledInNeitherUtf8NorOneLine",
                     {},
                     {{"A", BagInfoOf(kDisc, "complete", "D\xC1T\nA")}},
                     {},
                     "D\xC1T\nA",
                     kDisc,
                     false,
                     "A",
                     {"complete, A, F, 3/30, 2026-01-01T10:05:00+01:00", kAlready}},
        SameDiscCase{"BagWithItsRow",
                     {Row(kDisc, DiscResult::Complete, "A")},
                     {{"A", BagInfoOf(kDisc, "complete")}},
                     {},
                     "DATA",
                     kDisc,
                     false,
                     "A",
                     {kAlready}},
        SameDiscCase{"IncompleteBagWithoutRow",
                     {},
                     {{"A (incomplete)", BagInfoOf(kDisc, "incomplete")}},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied},
                     "A (incomplete)"},
        // Read on from the latest incomplete bag of this disc alone.
        SameDiscCase{
            "ReadOnFromTheLatestIncompleteBag",
            {Row(kDisc, DiscResult::Incomplete, "A (incomplete)")},
            {{"A (incomplete)", BagInfoOf(kDisc, "incomplete")},
             {"B (incomplete)", BagInfoOf(kDisc, "incomplete", "DATA", "2026-01-02T09:00:00+0100")},
             {"C (incomplete)",
              BagInfoOf(kDisc, "incomplete", "DATA2", "2026-01-03T09:00:00+0100")},
             {"D (incomplete)",
              BagInfoOf(kOther, "incomplete", "DATA", "2026-01-03T09:00:00+0100")}},
            {},
            "DATA",
            kDisc,
            true,
            "",
            {"complete, DATA 2026-12-08 1a2b3c4d, E, 3/30, " + kNow +
             ", read on from B (incomplete): 6144 bytes more read"},
            "B (incomplete)",
            {DiscResult::Complete, 3, 30, 0, false, true, 6144},
            "Notify quiet complete: DATA 2026-12-08 1a2b3c4d"},
        SameDiscCase{"ReadOnGainingNothingKeepsTheEarlierBag",
                     {},
                     {{"A (incomplete)", BagInfoOf(kDisc, "incomplete")}},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {"incomplete, A (incomplete), E, 3/30, " + kNow +
                      ", read on from A (incomplete): nothing more read, the bag "
                      "left as it was"},
                     "A (incomplete)",
                     {DiscResult::Incomplete, 0, 0, 0, false, true, 0},
                     "Notify person nothing gained: A (incomplete)"},
        SameDiscCase{"TemporaryBagWithoutRow",
                     {},
                     {{".dravolin-1-2-3.part", BagInfoOf(kDisc, "complete")}},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"OtherDiscsBag",
                     {},
                     {{"A", BagInfoOf(kOther, "complete")}},
                     {},
                     "DATA",
                     kDisc,
                     true,
                     "",
                     {kCopied}},
        SameDiscCase{"SameDiscArchivedByAnotherDriveWhileWaiting",
                     {},
                     {},
                     Row(kDisc, DiscResult::Complete, "A"),
                     "DATA",
                     kDisc,
                     false,
                     "A",
                     {kAlready}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::archive
