#include "platform/win32/archive/Win32ArchivePage.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>
#include "archive/ArchivePage.h"
#include "archive/BagCheck.h"
#include "archive/BagRecord.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/FileText.h"
#include "platform/win32/archive/FolderEntries.h"
#include "platform/win32/archive/LocalClock.h"
#include "platform/win32/archive/Sha256.h"
#include "platform/win32/archive/TargetClaims.h"
#include "platform/win32/archive/WideText.h"
#include "platform/win32/archive/Win32LogFile.h"

namespace dravolin::win32 {

namespace {

// Where the Linux program keeps a disc's rescue map (BagImage::kMapName in
// archive::kImageFolder): a target folder may be shared with it.
constexpr wchar_t kMapPath[] = L"data\\image\\disc.map";

bool IsFolderAt(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsTagFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The bags of the folder by name, in the order of their UTF-8 names as on Linux: folders that
// hold a bagit.txt; hidden ones (bags being built) and links left out.
std::vector<std::pair<std::string, std::wstring>> BagsIn(const std::wstring& target) {
    std::vector<std::pair<std::string, std::wstring>> bags;
    for (const FolderEntry& entry : FolderEntries(target)) {
        if (entry.name.front() == L'.' || !entry.IsFolder() || entry.IsLink()) continue;
        if (IsTagFile(JoinPath(JoinPath(target, entry.name), L"bagit.txt"))) {
            bags.emplace_back(Utf8FromWide(entry.name), entry.name);
        }
    }
    std::sort(bags.begin(), bags.end());
    return bags;
}

// Every entry below `data` that is not a folder, by its path below it ("files/sub/a.txt") in
// UTF-8. Links are listed, never followed, as files of no bytes; a folder that cannot be listed
// lists what it could. Folders wait in a list rather than on the stack: a bag's tree may be as
// deep as a long path goes.
std::map<std::string, std::uint64_t> FilesBelow(const std::wstring& data) {
    std::map<std::string, std::uint64_t> files;
    std::vector<std::pair<std::wstring, std::string>> folders = {{data, ""}};
    while (!folders.empty()) {
        const auto [folder, below] = std::move(folders.back());
        folders.pop_back();
        for (const FolderEntry& entry : FolderEntries(folder)) {
            const std::string path = below + Utf8FromWide(entry.name);
            if (entry.IsFolder() && !entry.IsLink()) {
                folders.emplace_back(JoinPath(folder, entry.name), path + "/");
            } else {
                files[path] = entry.IsLink() ? 0 : entry.size;
            }
        }
    }
    return files;
}

archive::PageBag PageBagOf(const std::wstring& target, const std::string& name,
                           const std::wstring& wideName) {
    const std::wstring folder = JoinPath(target, wideName);
    archive::PageBag bag{name,
                         ReadFileText(JoinPath(folder, L"bag-info.txt")).value_or(""),
                         {},
                         ReadFileText(JoinPath(folder, kMapPath)).value_or("")};
    for (auto& [path, size] : FilesBelow(JoinPath(folder, WideFromUtf8(archive::kPayloadFolder)))) {
        bag.files.push_back({path, size});
    }
    return bag;
}

std::vector<archive::PageReport> ReportsIn(const std::wstring& target) {
    std::vector<archive::PageReport> reports;
    for (const FolderEntry& entry : FolderEntries(target)) {
        if (entry.IsFolder() || entry.IsLink()) continue;
        std::string name = Utf8FromWide(entry.name);
        if (archive::ReportTime(name).empty()) continue;
        if (auto text = ReadFileText(JoinPath(target, entry.name))) {
            reports.push_back({std::move(name), std::move(*text)});
        }
    }
    return reports;
}

}  // namespace

bool WriteArchivePage(const std::wstring& target, const archive::PageTexts& texts) {
    if (!IsFolderAt(target)) return false;
    // Where no turn can be had (a share that keeps no locks) the page is written all the same.
    const UniqueHandle turn = TakePageTurn(target);
    archive::PageSources sources;
    sources.log = ReadLogFile(target);
    for (const auto& [name, wideName] : BagsIn(target)) {
        sources.bags.push_back(PageBagOf(target, name, wideName));
    }
    sources.reports = ReportsIn(target);
    sources.written = LocalNow();
    const std::string page =
        archive::ArchivePage(texts, sources, [](std::string_view text) { return Sha256Of(text); });
    return ReplaceFileText(target, WideFromUtf8(archive::kPageFileName), page);
}

}  // namespace dravolin::win32
