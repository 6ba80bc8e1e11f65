#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "archive/BagRecord.h"
#include "archive/BagText.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/Sha256.h"
#include "platform/win32/archive/Win32BagWriter.h"

namespace dravolin::win32 {

// The copy of a disc's tree into a bag's data/files/ folder: the tree is listed first (for the
// total the progress shows, and the names each folder stores), then copied file by file, each
// written under a temporary name and renamed when whole. Links (reparse points) are never
// followed; what the disc cannot give is listed, not asked about.
class BagCopy {
  public:
    enum class Stop { None, Budget, Cancel, TargetFull, Failed };

    BagCopy(BagProgress& progress, std::optional<std::chrono::steady_clock::time_point> readUntil);

    // Both paths in the long form (ExtendedLengthPath). Failed when the disc's root cannot be
    // listed.
    Stop Copy(const std::wstring& discRoot, const std::wstring& data);

    const std::vector<archive::ArchivedFile>& Files() const { return files_; }
    const std::vector<archive::UnreadEntry>& Unread() const { return unread_; }
    // A Dravolin-Renamed line per entry stored under another name than the disc's.
    const archive::InfoFields& Renamed() const { return renamed_; }
    // What the disc held that no bag takes: "Not copied: 2 links (reparse points)."; or empty.
    std::string Summary() const;
    // With Failed (and TargetFull): the system's error and the path, as a person writes it.
    DWORD Error() const { return error_; }
    const std::wstring& FailedPath() const { return failedPath_; }

  private:
    struct Entry {
        std::wstring discName;
        std::wstring storedName;
        bool folder = false;
        std::uint64_t size = 0;
        FILETIME written{};
        DWORD listError = 0;  // a folder that could not be listed
        std::vector<Entry> children;
    };

    void Scan(const std::wstring& path, Entry& folder, int depth);
    Stop CopyFolder(const Entry& folder, const std::wstring& from, const std::wstring& to,
                    const std::string& stored, const std::string& original);
    Stop CopyFile(const Entry& file, const std::wstring& from, const std::wstring& folder,
                  const std::string& stored, const std::string& original);
    Stop TargetFailure(DWORD error, const std::wstring& path);
    void NotRead(const std::string& original, const std::string& what, DWORD error);
    // False stops the copy: the budget is spent, or the progress said stop.
    bool Continue(const std::wstring& file);

    BagProgress& progress_;
    std::optional<std::chrono::steady_clock::time_point> readUntil_;
    Stop stopped_ = Stop::None;
    Sha256 hash_;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t links_ = 0;
    std::uint64_t temps_ = 0;
    std::vector<archive::ArchivedFile> files_;
    std::vector<archive::UnreadEntry> unread_;
    archive::InfoFields renamed_;
    DWORD error_ = 0;
    std::wstring failedPath_;
};

// Text for a person: UTF-8; without the long form's "\\?\"; the system's words for an error.
std::string Utf8(std::wstring_view text);
std::wstring ShownPath(std::wstring_view longPath);
std::string ErrorWords(DWORD error);

}  // namespace dravolin::win32
