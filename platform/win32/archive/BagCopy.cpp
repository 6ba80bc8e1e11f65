#include "platform/win32/archive/BagCopy.h"

#include <algorithm>
#include <memory>
#include "platform/win32/Handles.h"
#include "platform/win32/archive/RecoveringCopy.h"
#include "platform/win32/archive/WindowsNames.h"

namespace dravolin::win32 {

namespace {

// Folders nested deeper than this are listed as not copied: a hostile disc's thousands of
// levels would otherwise exhaust the stack.
constexpr int kMaxDepth = 200;
// Below the long form's 32,767 units, with room for a temporary name.
constexpr std::size_t kMaxPathLength = 32000;

struct FindCloser {
    void operator()(HANDLE find) const { ::FindClose(find); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

bool IsTargetFull(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

std::string Below(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

}  // namespace

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                              length, nullptr, nullptr);
    }
    return utf8;
}

std::wstring ShownPath(std::wstring_view longPath) {
    if (longPath.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + std::wstring(longPath.substr(8));
    if (longPath.starts_with(L"\\\\?\\")) return std::wstring(longPath.substr(4));
    return std::wstring(longPath);
}

std::string ErrorWords(DWORD error) {
    wchar_t text[512] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, text, static_cast<DWORD>(std::size(text)), nullptr);
    std::wstring words(text, length);
    while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n' ||
                              words.back() == L' ' || words.back() == L'.')) {
        words.pop_back();
    }
    const std::string code = "error " + std::to_string(error);
    return words.empty() ? code : Utf8(words) + " (" + code + ")";
}

BagCopy::BagCopy(BagProgress& progress,
                 std::optional<std::chrono::steady_clock::time_point> readUntil)
    : progress_(progress), readUntil_(readUntil) {}

BagCopy::Stop BagCopy::Copy(const std::wstring& discRoot, const std::wstring& data) {
    Entry root;
    root.folder = true;
    Scan(discRoot, root, 0);
    if (root.listError != 0) {
        error_ = root.listError;
        failedPath_ = ShownPath(discRoot);
        return Stop::Failed;
    }
    return CopyFolder(root, discRoot, data, std::string(), std::string());
}

void BagCopy::Scan(const std::wstring& path, Entry& folder, int depth) {
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileExW(JoinPath(path, L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (find.get() == INVALID_HANDLE_VALUE) {
        find.release();
        const DWORD error = ::GetLastError();
        // A drive's empty root has not even "." to list.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) folder.listError = error;
        return;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            ++links_;
            continue;
        }
        Entry entry;
        entry.discName = name;
        entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        entry.written = found.ftLastWriteTime;
        folder.children.push_back(std::move(entry));
    } while (::FindNextFileW(find.get(), &found));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES) {
        folder.listError = error;
        folder.children.clear();
        return;
    }
    // One order on every run, whatever order the file system lists in.
    std::sort(folder.children.begin(), folder.children.end(),
              [](const Entry& a, const Entry& b) { return a.discName < b.discName; });
    std::vector<std::wstring> names;
    for (const Entry& child : folder.children) names.push_back(child.discName);
    const std::vector<std::wstring> stored = StoredNames(names);
    for (std::size_t i = 0; i < folder.children.size(); ++i) {
        Entry& child = folder.children[i];
        child.storedName = stored[i];
        if (!child.folder) {
            total_ += child.size;
        } else if (depth + 1 > kMaxDepth) {
            child.listError = ERROR_FILENAME_EXCED_RANGE;
        } else {
            Scan(JoinPath(path, child.discName), child, depth + 1);
        }
    }
}

BagCopy::Stop BagCopy::CopyFolder(const Entry& folder, const std::wstring& from,
                                  const std::wstring& to, const std::string& stored,
                                  const std::string& original) {
    for (const Entry& child : folder.children) {
        const std::string childStored = Below(stored, Utf8(child.storedName));
        const std::string childOriginal = Below(original, Utf8(child.discName));
        const std::wstring source = JoinPath(from, child.discName);
        const std::wstring target = JoinPath(to, child.storedName);
        if (target.size() > kMaxPathLength) {
            NotRead(childOriginal, "Cannot store", ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        if (child.folder && child.listError != 0) {
            NotRead(childOriginal, "Cannot list", child.listError);
            continue;
        }
        Stop stop = Stop::None;
        if (child.folder) {
            if (!::CreateDirectoryW(target.c_str(), nullptr)) {
                return TargetFailure(::GetLastError(), target);
            }
            stop = CopyFolder(child, source, target, childStored, childOriginal);
        } else {
            const std::size_t files = files_.size();
            stop = CopyFile(child, source, to, childStored, childOriginal);
            if (stop != Stop::None) return stop;
            if (files_.size() == files) continue;  // not copied
        }
        if (child.storedName != child.discName) {
            renamed_.emplace_back(
                archive::kFieldRenamed,
                archive::ManifestPath(childStored) + " <- " + archive::ManifestPath(childOriginal));
        }
        if (stop != Stop::None) return stop;
    }
    return Stop::None;
}

BagCopy::Stop BagCopy::CopyFile(const Entry& file, const std::wstring& from,
                                const std::wstring& folder, const std::string& stored,
                                const std::string& original) {
    if (!Continue(from)) return stopped_;
    const UniqueHandle in(::CreateFileW(
        from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!in.Valid()) {
        NotRead(original, "Cannot open", ::GetLastError());
        done_ += file.size;
        return Stop::None;
    }
    std::uint64_t size = file.size;
    LARGE_INTEGER actual{};
    if (::GetFileSizeEx(in.Get(), &actual)) size = static_cast<std::uint64_t>(actual.QuadPart);

    const std::wstring temp =
        JoinPath(folder, L".dravolin-" + std::to_wstring(++temps_) + L".part");
    UniqueHandle out(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) return TargetFailure(::GetLastError(), temp);
    const auto drop = [&] {
        out.Reset();
        ::DeleteFileW(temp.c_str());
    };

    HandleReader reader(in.Get());
    RecoveredFile copied = CopyRecovering(reader, out.Get(), size, hash_, [&](std::uint64_t n) {
        done_ += n;
        return Continue(from);
    });
    if (copied.end == RecoveredFile::End::Stopped) {
        drop();
        return stopped_;
    }
    if (copied.end != RecoveredFile::End::Done) {
        drop();
        // The system's provider failed to hash: nothing a retry or another disc would mend.
        return TargetFailure(
            copied.end == RecoveredFile::End::WriteFailed ? copied.error : ERROR_INTERNAL_ERROR,
            temp);
    }
    LARGE_INTEGER now{};
    if (::GetFileSizeEx(in.Get(), &now) && static_cast<std::uint64_t>(now.QuadPart) > size) {
        // It grew while it was read: the copy is not the file. (One that ends before its size
        // is zeros from there, as damage.)
        drop();
        unread_.push_back(
            archive::UnreadEntry{original, "Cannot read: it changed while it was copied."});
        return Stop::None;
    }
    ::SetFileTime(out.Get(), nullptr, nullptr, &file.written);
    if (!::FlushFileBuffers(out.Get())) {
        const DWORD error = ::GetLastError();
        drop();
        return TargetFailure(error, temp);
    }
    out.Reset();
    const std::wstring target = JoinPath(folder, file.storedName);
    if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        return TargetFailure(error, target);
    }
    files_.push_back(
        archive::ArchivedFile{stored, size, std::move(copied.sha256), std::move(copied.damaged)});
    return Stop::None;
}

BagCopy::Stop BagCopy::TargetFailure(DWORD error, const std::wstring& path) {
    error_ = error;
    failedPath_ = ShownPath(path);
    return IsTargetFull(error) ? Stop::TargetFull : Stop::Failed;
}

void BagCopy::NotRead(const std::string& original, const std::string& what, DWORD error) {
    unread_.push_back(archive::UnreadEntry{original, what + ": " + ErrorWords(error)});
}

bool BagCopy::Continue(const std::wstring& file) {
    if (readUntil_ && std::chrono::steady_clock::now() >= *readUntil_) {
        stopped_ = Stop::Budget;
        return false;
    }
    if (!progress_.OnProgress(done_, total_, ShownPath(file))) {
        stopped_ = Stop::Cancel;
        return false;
    }
    return true;
}

std::string BagCopy::Summary() const {
    if (links_ == 0) return {};
    return "Not copied: " + std::to_string(links_) + " links (reparse points).";
}

}  // namespace dravolin::win32
