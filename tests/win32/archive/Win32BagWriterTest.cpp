#include <gtest/gtest.h>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
// After the Windows headers.
#include <tlhelp32.h>
#include "platform/win32/archive/BagCopy.h"
#include "platform/win32/archive/Sha256.h"
#include "platform/win32/archive/TempBags.h"
#include "platform/win32/archive/Win32BagWriter.h"
#include "platform/win32/archive/WindowsNames.h"

namespace dravolin::win32 {
namespace {

std::wstring Wide(const std::string& utf8) {
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          length);
    return wide;
}

// The folder the fixture made (make-disc-tree), as Wine's drive Z: shows it.
std::wstring TreeFolder(const wchar_t* below) {
    const char* tree = std::getenv("DRAVOLIN_BAG_TREE");
    if (tree == nullptr) return {};
    std::wstring path = L"Z:" + Wide(tree);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return JoinPath(path, below);
}

std::string ReadAll(const std::wstring& path) {
    const UniqueHandle file(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return "<missing " + Utf8(path) + ">";
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE find =
        ::FindFirstFileW(JoinPath(ExtendedLengthPath(folder), L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// "HASH  path" lines as a map from path to hash.
std::map<std::string, std::string> Manifest(const std::string& text) {
    std::map<std::string, std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t gap = line.find("  ");
        if (gap != std::string::npos) lines[line.substr(gap + 2)] = line.substr(0, gap);
    }
    return lines;
}

class Progress : public BagProgress {
  public:
    bool OnProgress(std::uint64_t done, std::uint64_t total, const std::wstring&) override {
        ++calls;
        last = done;
        this->total = total;
        return go;
    }
    bool go = true;
    int calls = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
};

TEST(Win32BagWriterTest, CngDigestIsSha256) {
    EXPECT_EQ(Sha256Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Win32BagWriterTest, ADiscsTreeBecomesACheckedBagUnderNamesWindowsAccepts) {
    const std::wstring disc = TreeFolder(L"disc");
    const std::wstring target = TreeFolder(L"target");
    ASSERT_FALSE(disc.empty()) << "DRAVOLIN_BAG_TREE is not set (make-disc-tree)";
    ASSERT_TRUE(::CreateDirectoryW(JoinPath(target, L"Taken").c_str(), nullptr));
    // A file the disc will not give: held without sharing, it cannot be opened.
    const UniqueHandle locked(::CreateFileW(JoinPath(disc, L"locked.bin").c_str(), GENERIC_READ, 0,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked.Valid());

    Win32BagWriter writer;
    Progress progress;
    BagRequest request{disc, target, "PHOTOS_2019", {{"Dravolin-Drive", "E"}}};
    const BagOutcome outcome = writer.Build(request, progress);
    ASSERT_EQ(outcome.result, BagResult::Incomplete) << outcome.error << Utf8(outcome.failedPath);
    EXPECT_EQ(outcome.damagedFiles, 2u);
    EXPECT_FALSE(outcome.budgetSpent || outcome.targetFull || outcome.cancelled);
    EXPECT_EQ(outcome.summary, "Not copied: 1 links (reparse points).");
    EXPECT_EQ(progress.total, progress.last);
    const std::wstring building = writer.BuildingPath();
    const std::wstring buildingName = building.substr(building.find_last_of(L'\\') + 1);
    EXPECT_TRUE(buildingName.starts_with(L".dravolin-")) << Utf8(building);
    EXPECT_TRUE(::GetFileAttributesW(ExtendedLengthPath(building).c_str()) & FILE_ATTRIBUTE_HIDDEN);

    const std::string big = ReadAll(JoinPath(disc, L"sub\\big.bin"));
    const std::string deep(60, '0');
    // Stored name, in the bag's manifest, and the disc's name it came from.
    const std::map<std::string, std::string> stored = {
        {"data/files/plain.txt", "plain.txt"},
        {"data/files/CON_", "CON"},
        {"data/files/nul_.txt", "nul.txt"},
        {"data/files/x_", "x."},
        {"data/files/y_", "y "},
        {"data/files/a_b", "a:b"},
        {"data/files/A.TXT", "A.TXT"},
        {"data/files/a (2).txt", "a.txt"},
        {"data/files/\xd0\xa4\xd0\xbe\xd1\x82\xd0\xbe.jpg", "\xd0\xa4\xd0\xbe\xd1\x82\xd0\xbe.jpg"},
        {"data/files/_.dravolin-7.part", ".dravolin-7.part"},
        {"data/files/empty", "empty"},
        {"data/files/sub/big.bin", "sub/big.bin"},
        {"data/files/long/" + deep + "/" + deep + "/" + deep + "/" + deep + "/file.txt",
         "long/" + deep + "/" + deep + "/" + deep + "/" + deep + "/file.txt"},
    };
    const std::map<std::string, std::string> manifest =
        Manifest(ReadAll(JoinPath(building, L"manifest-sha256.txt")));
    std::set<std::string> listed;
    for (const auto& [path, hash] : manifest) listed.insert(path);
    std::set<std::string> expected;
    for (const auto& [path, original] : stored) expected.insert(path);
    EXPECT_EQ(listed, expected);
    for (const auto& [path, original] : stored) {
        std::wstring inBag = JoinPath(building, Wide(path));
        for (wchar_t& c : inBag) {
            if (c == L'/') c = L'\\';
        }
        std::wstring fromDisc = JoinPath(disc, Wide(original));
        for (wchar_t& c : fromDisc) {
            if (c == L'/') c = L'\\';
        }
        const std::string bytes = ReadAll(inBag);
        EXPECT_EQ(bytes, ReadAll(fromDisc)) << path;
        EXPECT_EQ(Sha256Of(bytes), manifest.count(path) ? manifest.at(path) : "") << path;
    }
    EXPECT_EQ(outcome.files, stored.size());

    const std::string info = ReadAll(JoinPath(building, L"bag-info.txt"));
    for (const std::string& line :
         {"\nPayload-Oxum: " + std::to_string(outcome.bytes) + "." + std::to_string(stored.size()) +
              "\n",
          std::string("\nExternal-Identifier: PHOTOS_2019\nDravolin-Drive: E\n"
                      "Dravolin-Result: incomplete\nDravolin-Damaged-Files: 2\n"),
          std::string("\nDravolin-Not-Copied: Not copied: 1 links (reparse points).\n"),
          std::string("\nDravolin-Renamed: data/files/CON_ <- data/files/CON\n"),
          std::string("\nDravolin-Renamed: data/files/a (2).txt <- data/files/a.txt\n"),
          std::string("\nDravolin-Renamed: data/files/a_b <- data/files/a:b\n"),
          std::string("\nDravolin-Renamed: data/files/x_ <- data/files/x.\n"),
          std::string("\nDravolin-Renamed: data/files/_.dravolin-7.part <- "
                      "data/files/.dravolin-7.part\n")}) {
        EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
    }
    EXPECT_EQ(info.find("<- data/files/plain.txt"), std::string::npos) << info;
    EXPECT_NE(info.find("\nDravolin-Ended: "), std::string::npos) << info;
    const std::string damaged = ReadAll(JoinPath(building, L"damaged-files.txt"));
    const std::size_t q = damaged.find("\ndata/files/q? not copied: Cannot open: ");
    EXPECT_TRUE(damaged.starts_with("data/files/locked.bin not copied: Cannot open: ") &&
                q != std::string::npos && damaged.find('\n', q + 1) == damaged.size() - 1)
        << damaged;
    EXPECT_EQ(ReadAll(JoinPath(building, L"bagit.txt")),
              "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n");
    const std::map<std::string, std::string> tags =
        Manifest(ReadAll(JoinPath(building, L"tagmanifest-sha256.txt")));
    EXPECT_EQ(tags.size(), 4u);
    for (const char* name :
         {"bagit.txt", "manifest-sha256.txt", "bag-info.txt", "damaged-files.txt"}) {
        EXPECT_EQ(tags.count(name) ? tags.at(name) : "",
                  Sha256Of(ReadAll(JoinPath(building, Wide(name)))))
            << name;
    }

    // One bag per writer: a second Build fails and leaves the first bag as it is.
    const BagOutcome again = writer.Build(request, progress);
    EXPECT_EQ(again.result, BagResult::Failed);
    EXPECT_EQ(again.error, static_cast<unsigned long>(ERROR_ALREADY_INITIALIZED));
    EXPECT_EQ(writer.BuildingPath(), building);

    // Published never over anything, nor under a name that is not one name.
    unsigned long error = 0;
    EXPECT_EQ(writer.Publish(L"taken"), Win32BagWriter::Published::NameTaken);
    EXPECT_EQ(writer.Publish(L"CON", &error), Win32BagWriter::Published::Failed);
    EXPECT_EQ(writer.Publish(L"..\\outside", &error), Win32BagWriter::Published::Failed);
    EXPECT_EQ(error, static_cast<unsigned long>(ERROR_INVALID_NAME));
    EXPECT_EQ(writer.Publish(L"PHOTOS_2019 2026-12-08"), Win32BagWriter::Published::Done);
    EXPECT_FALSE(Exists(building));
    const std::wstring published = JoinPath(target, L"PHOTOS_2019 2026-12-08");
    EXPECT_FALSE(::GetFileAttributesW(ExtendedLengthPath(published).c_str()) &
                 FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Exists(JoinPath(published, L"data\\files\\sub\\big.bin")));
    EXPECT_EQ(ReadAll(JoinPath(published, L"data\\files\\sub\\big.bin")).size(), big.size());
    // Nothing beside the bag but what was there, nothing of the writer's own left in it.
    std::vector<std::wstring> beside = Names(target);
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::wstring>{L"PHOTOS_2019 2026-12-08", L"Taken"}));
    for (const std::wstring& name : Names(JoinPath(published, L"data\\files"))) {
        EXPECT_FALSE(name.starts_with(L".dravolin-")) << Utf8(name);
    }
    for (const std::wstring& name : Names(published)) {
        EXPECT_FALSE(name.starts_with(L".dravolin-")) << Utf8(name);
    }
}

// How a copy ended early: the bag kept while its writer lives, or none.
TEST(Win32BagWriterTest, ACopyStoppedEarlyKeepsWhatIsWholeOrNothing) {
    const std::wstring disc = TreeFolder(L"disc");
    ASSERT_FALSE(disc.empty()) << "DRAVOLIN_BAG_TREE is not set (make-disc-tree)";
    struct Case {
        const char* name;
        bool budgetSpent;  // else the progress says stop
        BagResult result;
    };
    for (const Case& c :
         {Case{"budget", true, BagResult::Incomplete}, Case{"cancel", false, BagResult::Failed}}) {
        const std::wstring target = JoinPath(TreeFolder(L"stopped"), Wide(c.name));
        std::wstring building;
        {
            Win32BagWriter writer;
            Progress progress;
            progress.go = c.budgetSpent;
            BagRequest request{disc, target, "LABEL", {}};
            if (c.budgetSpent) request.readUntil = std::chrono::steady_clock::now();
            const BagOutcome outcome = writer.Build(request, progress);
            EXPECT_EQ(outcome.result, c.result) << c.name;
            EXPECT_EQ(outcome.budgetSpent, c.budgetSpent) << c.name;
            EXPECT_EQ(outcome.cancelled, !c.budgetSpent) << c.name;
            EXPECT_EQ(outcome.files, 0u) << c.name;
            building = writer.BuildingPath();
            if (c.budgetSpent) {
                const std::string info = ReadAll(JoinPath(building, L"bag-info.txt"));
                EXPECT_NE(info.find("\nDravolin-Result: incomplete\n"), std::string::npos);
                EXPECT_NE(info.find("\nDravolin-Stopped: the disc's time budget was spent"),
                          std::string::npos)
                    << info;
                EXPECT_EQ(ReadAll(JoinPath(building, L"manifest-sha256.txt")), "");
            }
        }
        // The writer gone, its bag unpublished: nothing of it is left.
        EXPECT_EQ(Names(target), std::vector<std::wstring>{}) << c.name;
    }
}

// A killed writer's bag is removed by the next writer into the same folder; a bag that may
// still have a writer is not.
TEST(Win32BagWriterTest, ABagWhoseWriterDiedIsRemovedByTheNext) {
    const std::wstring disc = TreeFolder(L"disc");
    const std::wstring target = TreeFolder(L"stale");
    ASSERT_FALSE(disc.empty()) << "DRAVOLIN_BAG_TREE is not set (make-disc-tree)";
    // A process number that names no process.
    std::uint32_t dead = 0x3ffffffc;
    for (;; dead -= 4) {
        const UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, dead));
        if (!process.Valid() && ::GetLastError() == ERROR_INVALID_PARAMETER) break;
    }
    // Another process that runs (Wine's own services do).
    std::uint32_t live = 0;
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &process); more && live == 0;
         more = ::Process32NextW(snapshot.Get(), &process)) {
        if (process.th32ProcessID != 0 && process.th32ProcessID != ::GetCurrentProcessId()) {
            live = process.th32ProcessID;
        }
    }
    ASSERT_NE(live, 0u);
    const BagOwner self = ThisWriter();
    const BagOwner gone{self.machine, dead};
    // A bag named as a dead writer's whose lock is held: a clone of this computer writes it.
    const std::wstring clonesBag = TempBagName(gone, 5);
    const std::vector<std::wstring> kept = {
        TempBagName(BagOwner{self.machine + 1, dead}, 2),  // another computer's
        TempBagName(self, 3),                              // this process's
        TempBagName(BagOwner{self.machine, live}, 4),      // a running process's
        clonesBag,
        TempBagName(gone, 6),  // no lock file, but not empty: may be about to get its name
        L".dravolin-not-a-bag.part",
    };
    const std::vector<std::wstring> removed = {
        TempBagName(gone, 1),  // its lock free
        TempBagName(gone, 7),  // empty, its writer dead before it took the lock
    };
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    for (const std::wstring& name : kept) {
        ASSERT_TRUE(::CreateDirectoryW(JoinPath(target, name).c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(JoinPath(target, name + L"\\data").c_str(), nullptr));
    }
    for (const std::wstring& name : removed) {
        ASSERT_TRUE(::CreateDirectoryW(JoinPath(target, name).c_str(), nullptr));
    }
    const std::wstring deadBag = JoinPath(target, removed[0]);
    ASSERT_TRUE(::CreateDirectoryW(JoinPath(deadBag, L"data").c_str(), nullptr));
    unsigned long error = 0;
    ASSERT_TRUE(LockBag(deadBag, error).Valid()) << error;  // and let go, as by a dead writer
    const UniqueHandle clonesLock = LockBag(JoinPath(target, clonesBag), error);
    ASSERT_TRUE(clonesLock.Valid()) << error;

    Win32BagWriter writer;
    Progress progress;
    BagRequest request{disc, target, "LABEL", {}};
    request.readUntil = std::chrono::steady_clock::now();
    EXPECT_EQ(writer.Build(request, progress).result, BagResult::Incomplete);
    for (const std::wstring& name : removed) {
        EXPECT_FALSE(Exists(JoinPath(target, name))) << Utf8(name);
    }
    for (const std::wstring& name : kept) EXPECT_TRUE(Exists(JoinPath(target, name))) << Utf8(name);
    EXPECT_TRUE(Exists(JoinPath(target, clonesBag + L"\\data")));
}

void WriteFile(const std::wstring& path, const std::string& bytes, DWORD how = CREATE_NEW) {
    const UniqueHandle file(::CreateFileW(
        ExtendedLengthPath(path).c_str(), how == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, how, 0, nullptr));
    ASSERT_TRUE(file.Valid()) << Utf8(path) << " " << ::GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

// What the target (or the disc under the copy) does to a bag: it ends incomplete, listing only
// files that are whole in it and as they were on the disc. Run by run-on-full-disk.
TEST(Win32BagWriterTest, WhatAFullTargetOrAChangingDiscDoesToABag) {
    const char* full = std::getenv("DRAVOLIN_FULL_TARGET");
    ASSERT_NE(full, nullptr) << "run by run-on-full-disk";
    std::wstring fullDisk = L"Z:" + Wide(full);
    for (wchar_t& c : fullDisk) {
        if (c == L'/') c = L'\\';
    }
    constexpr std::uint64_t kBlock = 4096;
    struct Case {
        const char* name;
        bool onFullDisk;
        const wchar_t* grows;  // a file the disc appends to after its first block was read
        bool targetFull;
        std::size_t filesAtMost;
        const char* damaged;  // in damaged-files.txt
    };
    for (const Case& c : {
             Case{"a file grows while it is read", false, L"b.bin", false, 2,
                  "data/files/b.bin not copied: Cannot read: it changed while it was copied.\n"},
             Case{"the tag files do not fit", true, nullptr, true, 2, ""},
         }) {
        const std::wstring row = JoinPath(TreeFolder(L"rows"), Wide(c.name));
        const std::wstring disc = JoinPath(row, L"disc");
        const std::wstring target = c.onFullDisk ? JoinPath(fullDisk, L"rows") : row + L"\\target";
        ::CreateDirectoryW(TreeFolder(L"rows").c_str(), nullptr);
        ASSERT_TRUE(::CreateDirectoryW(row.c_str(), nullptr)) << c.name;
        ASSERT_TRUE(::CreateDirectoryW(disc.c_str(), nullptr)) << c.name;
        ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr)) << c.name;
        const std::vector<std::wstring> files = {L"a.bin", L"b.bin", L"c.bin"};
        for (const std::wstring& name : files) {
            WriteFile(JoinPath(disc, name), std::string(5000, static_cast<char>(name[0])));
        }
        // The payload and bagit.txt fill the disk to its last block: no tag file fits after.
        const std::wstring filler = JoinPath(fullDisk, L"filler");
        if (c.onFullDisk) {
            ULARGE_INTEGER free{};
            ASSERT_TRUE(::GetDiskFreeSpaceExW(target.c_str(), &free, nullptr, nullptr));
            const std::uint64_t needed = (files.size() * 2 + 1) * kBlock;
            ASSERT_GT(free.QuadPart, needed);
            WriteFile(filler, std::string(free.QuadPart - needed, 'f'));
        }

        struct Growing : Progress {
            bool OnProgress(std::uint64_t done, std::uint64_t total,
                            const std::wstring& file) override {
                if (grows && file.ends_with(grows) && ++calls == 2) {
                    WriteFile(file, "more", OPEN_ALWAYS);
                }
                return Progress::OnProgress(done, total, file);
            }
            const wchar_t* grows = nullptr;
            int calls = 0;
        } progress;
        progress.grows = c.grows;
        Win32BagWriter writer;
        const BagOutcome outcome = writer.Build(BagRequest{disc, target, "LABEL", {}}, progress);
        if (c.onFullDisk) ::DeleteFileW(ExtendedLengthPath(filler).c_str());
        ASSERT_EQ(outcome.result, BagResult::Incomplete)
            << c.name << " " << outcome.error << " " << Utf8(outcome.failedPath);
        EXPECT_EQ(outcome.targetFull, c.targetFull) << c.name;
        EXPECT_GT(outcome.files, 0u) << c.name;
        EXPECT_LE(outcome.files, c.filesAtMost) << c.name;
        const std::wstring building = writer.BuildingPath();
        const std::map<std::string, std::string> manifest =
            Manifest(ReadAll(JoinPath(building, L"manifest-sha256.txt")));
        EXPECT_EQ(manifest.size(), outcome.files) << c.name;
        std::uint64_t bytes = 0;
        for (const auto& [path, hash] : manifest) {
            const std::string name = path.substr(path.rfind('/') + 1);
            const std::string inBag = ReadAll(JoinPath(building, L"data\\files\\" + Wide(name)));
            EXPECT_EQ(inBag, std::string(5000, name[0])) << c.name << " " << path;
            EXPECT_EQ(Sha256Of(inBag), hash) << c.name << " " << path;
            bytes += inBag.size();
        }
        // Nothing in data/files/ that the manifest does not list.
        EXPECT_EQ(Names(JoinPath(building, L"data\\files")).size(), manifest.size()) << c.name;
        const std::string info = ReadAll(JoinPath(building, L"bag-info.txt"));
        EXPECT_NE(info.find("\nPayload-Oxum: " + std::to_string(bytes) + "." +
                            std::to_string(manifest.size()) + "\n"),
                  std::string::npos)
            << c.name << "\n"
            << info;
        EXPECT_NE(info.find("\nDravolin-Result: incomplete\n"), std::string::npos) << info;
        EXPECT_EQ(info.find("\nDravolin-Stopped: the target disk was full") != std::string::npos,
                  c.targetFull)
            << c.name << "\n"
            << info;
        EXPECT_EQ(ReadAll(JoinPath(building, L"bagit.txt")),
                  "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n")
            << c.name;
        if (*c.damaged) {
            EXPECT_EQ(ReadAll(JoinPath(building, L"damaged-files.txt")), c.damaged) << c.name;
        }
        const std::map<std::string, std::string> tags =
            Manifest(ReadAll(JoinPath(building, L"tagmanifest-sha256.txt")));
        EXPECT_EQ(tags.count("bag-info.txt") ? tags.at("bag-info.txt") : "", Sha256Of(info))
            << c.name;
        // The writer gone, its bag unpublished: the full disk is empty again for the next test.
    }
}

// The target disk fills up (run-on-full-disk gives a small file system of its own): the bag
// holds the files that fit, whole, and says why the rest is missing.
TEST(Win32BagWriterTest, AFullTargetLeavesAnIncompleteBagOfWhatFit) {
    const char* full = std::getenv("DRAVOLIN_FULL_TARGET");
    ASSERT_NE(full, nullptr) << "run by run-on-full-disk";
    std::wstring target = L"Z:" + Wide(full);
    for (wchar_t& c : target) {
        if (c == L'/') c = L'\\';
    }
    Win32BagWriter writer;
    Progress progress;
    const BagOutcome outcome =
        writer.Build(BagRequest{TreeFolder(L"disc"), target, "LABEL", {}}, progress);
    ASSERT_EQ(outcome.result, BagResult::Incomplete) << outcome.error << Utf8(outcome.failedPath);
    EXPECT_TRUE(outcome.targetFull);
    const std::wstring building = writer.BuildingPath();
    const std::map<std::string, std::string> manifest =
        Manifest(ReadAll(JoinPath(building, L"manifest-sha256.txt")));
    EXPECT_EQ(manifest.size(), outcome.files);
    EXPECT_GT(manifest.size(), 3u);
    EXPECT_EQ(manifest.count("data/files/sub/big.bin"), 0u);
    for (const auto& [path, hash] : manifest) {
        std::wstring inBag = JoinPath(building, Wide(path));
        for (wchar_t& c : inBag) {
            if (c == L'/') c = L'\\';
        }
        EXPECT_EQ(Sha256Of(ReadAll(inBag)), hash) << path;
    }
    // The unfinished file made room for the tag files.
    EXPECT_EQ(Names(JoinPath(building, L"data\\files\\sub")), std::vector<std::wstring>{});
    const std::string info = ReadAll(JoinPath(building, L"bag-info.txt"));
    EXPECT_NE(info.find("\nDravolin-Result: incomplete\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\nDravolin-Stopped: the target disk was full"), std::string::npos) << info;
    const std::map<std::string, std::string> tags =
        Manifest(ReadAll(JoinPath(building, L"tagmanifest-sha256.txt")));
    EXPECT_EQ(tags.count("bag-info.txt") ? tags.at("bag-info.txt") : "", Sha256Of(info));
    EXPECT_EQ(writer.Publish(L"LABEL (incomplete)"), Win32BagWriter::Published::Done);
}

}  // namespace
}  // namespace dravolin::win32
