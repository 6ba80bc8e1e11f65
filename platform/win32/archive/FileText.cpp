#include "platform/win32/archive/FileText.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/WideText.h"

namespace dravolin::win32 {

namespace {

// Far beyond a bag's tag file, a rescue map or a check's report: anything longer is not ours.
constexpr std::uint64_t kLongestText = 256u << 20;
// One WriteFile at most; a network share takes a huge one no better than several.
constexpr std::size_t kLargestWrite = 16u << 20;
// Other writers of the folder (other drives, programs, computers) may pick the same name.
constexpr int kNameTries = 100;

std::atomic<unsigned> temporaries{0};

// A dot name, which the bag listings and the page pass over; it begins with the name it will
// take, so that a leftover of a crash tells what it was.
std::wstring TemporaryName(const std::wstring& name) {
    return L"." + name + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++temporaries) + L".tmp";
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto size = static_cast<DWORD>(std::min(bytes.size(), kLargestWrite));
        DWORD done = 0;
        if (!::WriteFile(file, bytes.data(), size, &done, nullptr) || done == 0) return false;
        bytes.remove_prefix(done);
    }
    return true;
}

}  // namespace

std::optional<std::string> ReadFileText(const std::wstring& path) {
    const UniqueHandle file(::CreateFileW(
        LongPath(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return std::nullopt;
    }
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > kLongestText) return std::nullopt;
    // Read to its end rather than to the size it had: a file still being written grows.
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == text.size()) {
            if (text.size() > kLongestText) return std::nullopt;
            text.resize(text.size() * 2);
        }
        DWORD read = 0;
        if (!::ReadFile(file.Get(), text.data() + done,
                        static_cast<DWORD>(std::min(text.size() - done, kLargestWrite)), &read,
                        nullptr)) {
            return std::nullopt;
        }
        if (read == 0) break;
        done += read;
    }
    text.resize(done);
    return text;
}

bool ReplaceFileText(const std::wstring& folder, const std::wstring& name, std::string_view bytes) {
    std::wstring temporary;
    UniqueHandle file;
    for (int i = 0; i < kNameTries && !file.Valid(); ++i) {
        temporary = LongPath(JoinPath(folder, TemporaryName(name)));
        // Not hidden for all its dot: the file keeps its attributes under the new name.
        file = UniqueHandle(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid() && ::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (!file.Valid()) return false;
    const bool written = WriteAll(file.Get(), bytes) && ::FlushFileBuffers(file.Get());
    // Closed before the rename: a file open without sharing its deletion cannot be renamed.
    file.Reset();
    if (written && ::MoveFileExW(temporary.c_str(), LongPath(JoinPath(folder, name)).c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    ::DeleteFileW(temporary.c_str());
    return false;
}

}  // namespace dravolin::win32
