#pragma once
// Archive mode's file work in memory: each target folder's log text and taken names, bags whose
// outcome a test scripts per disc, notifications kept in order. Thread-safe.
//
// Call-log lines: "ReadLog <folder>", "AppendLog <folder>", "BuildBag <letter>: <folder> <name>",
// "Claim <identity>", "Release <identity>", "Notify quiet <text>", "Notify person <text>". Name
// queries and bag-info reads are not logged.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>
#include "platform/Archiver.h"
#include "platform/fake/CallLog.h"

namespace dravolin::fake {

// How the bags of one disc come out; Complete with nothing copied unless scripted.
struct FakeBagScript {
    archive::DiscResult result = archive::DiscResult::Complete;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t damagedFiles = 0;
    bool budgetSpent = false;
    // The read carried on from the bag's earlier one, gaining this many bytes; none: the earlier
    // bag is left as it was.
    bool readOn = false;
    std::uint64_t gained = 0;
    std::string discId = "";  // a disc with audio tracks: its MusicBrainz disc ID
};

class FakeArchiver : public Archiver {
  public:
    explicit FakeArchiver(CallLog& log);

    // --- Tests ---
    void SetLogText(const std::string& folder, std::string text);
    std::string LogText(const std::string& folder) const;
    // A file or folder of that name exists in the folder (letter case ignored, as on Windows).
    void TakeName(const std::string& folder, const std::string& name);
    void ScriptBag(std::uint32_t fingerprint, FakeBagScript script);
    void SetClock(archive::LocalTime now);
    std::vector<Bag> Bags() const;  // every BuildBag request, in order
    // What ReadDisc says of the drive; nothing unless set.
    void SetDisc(char letter, DiscIdentity disc);
    // A finished bag's bag-info.txt in the folder; its name is taken.
    void AddBagInfo(const std::string& folder, const std::string& name, std::string text);
    // Whether AppendLog writes the row (it does unless told otherwise).
    void SetLogWritable(bool writable);
    // Runs as a claim is granted, before ClaimDisc returns: what another drive holding the claim
    // did meanwhile.
    void OnClaim(std::function<void()> granted);

    // --- Archiver ---
    std::unique_ptr<Target> OpenTarget(const std::string& folder) override;
    archive::LocalTime Now() override;
    std::optional<DiscIdentity> ReadDisc(char letter) override;
    void Notify(Urgency urgency, const std::string& text) override;

    // What a target bound to `folder` does.
    std::string ReadLog(const std::string& folder);
    bool AppendLog(const std::string& folder, const archive::LogRow& row);
    std::string LogFileName(const std::string& folder);
    std::vector<BagInfoText> ReadBagInfos(const std::string& folder);
    std::unique_ptr<Claim> ClaimDisc(const std::string& identity);
    bool NameTaken(const std::string& folder, const std::string& name);
    BagOutcome BuildBag(const std::string& folder, const Bag& bag);
    // Logs "WritePage FOLDER LANGUAGE".
    void WritePage(const std::string& folder, const archive::PageTexts& texts);

  private:
    bool TakenLocked(const std::string& folder, const std::string& name) const;

    CallLog& log_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> logs_;              // folder -> log text
    std::set<std::pair<std::string, std::string>> taken_;  // folder, upper-case name
    std::map<std::uint32_t, FakeBagScript> scripts_;       // fingerprint -> outcome
    archive::LocalTime now_{2026, 12, 8, 14, 3, 11, 60};
    std::vector<Bag> bags_;
    std::map<char, DiscIdentity> discs_;
    std::map<std::string, std::vector<BagInfoText>> bagInfos_;  // folder -> its bags
    bool logWritable_ = true;
    std::function<void()> onClaim_;
};

}  // namespace dravolin::fake
