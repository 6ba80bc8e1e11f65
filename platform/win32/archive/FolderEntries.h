#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace dravolin::win32 {

// One entry of a folder as its listing tells it, without opening it.
struct FolderEntry {
    std::wstring name;
    unsigned long attributes = 0;  // FILE_ATTRIBUTE_*
    std::uint64_t size = 0;

    bool IsFolder() const;
    // A link, junction or any other reparse point: never followed.
    bool IsLink() const;
};

// The entries of `folder` (wide, any length) but "." and "..", in the file system's order. A
// listing that breaks off gives what came before; one that cannot start, nothing.
std::vector<FolderEntry> FolderEntries(const std::wstring& folder);

}  // namespace dravolin::win32
