#include "platform/win32/archive/FolderEntries.h"

#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/WideText.h"

namespace dravolin::win32 {

namespace {

// Closes a FindFirstFileExW search.
class EntrySearch {
  public:
    EntrySearch(const std::wstring& pattern, WIN32_FIND_DATAW& found)
        : handle_(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH)) {}
    ~EntrySearch() {
        if (Valid()) ::FindClose(handle_);
    }
    EntrySearch(const EntrySearch&) = delete;
    EntrySearch& operator=(const EntrySearch&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAW& found) { return ::FindNextFileW(handle_, &found) != 0; }

  private:
    HANDLE handle_;
};

}  // namespace

bool FolderEntry::IsFolder() const {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FolderEntry::IsLink() const {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::vector<FolderEntry> FolderEntries(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    EntrySearch search(LongPath(JoinPath(folder, L"*")), found);
    if (!search.Valid()) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back(
            FolderEntry{name, found.dwFileAttributes,
                        (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow});
    } while (search.Next(found));
    return entries;
}

}  // namespace dravolin::win32
