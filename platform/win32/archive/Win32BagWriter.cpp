#include "platform/win32/archive/Win32BagWriter.h"

#include <algorithm>
#include <random>
#include <set>
#include "archive/BagText.h"
#include "platform/win32/Handles.h"
#include "platform/win32/archive/BagCopy.h"
#include "platform/win32/archive/Sha256.h"
#include "platform/win32/archive/TempBags.h"
#include "platform/win32/archive/WindowsNames.h"

namespace dravolin::win32 {

namespace {

constexpr int kNameAttempts = 16;
constexpr char kDeclarationName[] = "bagit.txt";
// The usual cluster of a file system: a file that is not empty takes whole ones.
constexpr std::uint64_t kCluster = 4096;

std::uint64_t Clusters(std::uint64_t bytes) {
    return (bytes + kCluster - 1) / kCluster * kCluster;
}

bool IsTargetFull(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// A bag's path ("sub/a.txt" below data/files, UTF-8) as a path below `folder` (long form).
std::wstring Below(const std::wstring& folder, const std::string& path) {
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring below(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), below.data(),
                              length);
    }
    for (wchar_t& c : below) {
        if (c == L'/') c = L'\\';
    }
    return JoinPath(folder, below);
}

// Where the bag keeps the disc's files.
std::wstring FilesFolder(const std::wstring& bag) {
    return Below(bag, archive::kFilesFolder);
}

// The full path of `path` in the long form; empty when it has none.
std::wstring FullLongPath(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\")) return path;
    const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return {};
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return {};
    full.resize(written);
    return ExtendedLengthPath(full);
}

// Makes `path` (long form) and the folders above it; 0 or the system's error.
DWORD MakeFolders(const std::wstring& path) {
    if (::CreateDirectoryW(path.c_str(), nullptr)) return 0;
    DWORD error = ::GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        const std::size_t cut = path.find_last_of(L'\\');
        // Above "\\?\C:\x" lies only the drive's root, which is there or not.
        if (cut != std::wstring::npos && cut > 7) {
            if (const DWORD above = MakeFolders(path.substr(0, cut))) return above;
            if (::CreateDirectoryW(path.c_str(), nullptr)) return 0;
            error = ::GetLastError();
        }
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    return error;
}

archive::LocalTime Now() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone{};
    const DWORD which = ::GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    return archive::LocalTime{
        local.wYear,   local.wMonth,           local.wDay, local.wHour, local.wMinute,
        local.wSecond, static_cast<int>(-bias)};
}

// 0, or the system's error.
DWORD WriteTagFile(const std::wstring& path, const std::string& text) {
    const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return ::GetLastError();
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!::WriteFile(file.Get(), text.data() + done, static_cast<DWORD>(text.size() - done),
                         &written, nullptr)) {
            return ::GetLastError();
        }
        if (written == 0) return ERROR_DISK_FULL;
        done += written;
    }
    return ::FlushFileBuffers(file.Get()) ? 0 : ::GetLastError();
}

// Writes every tag file of `bag` (long form) but the declaration, written first. On a full disk
// the last files of the payload are removed, and left out of `files`, until the tag files fit.
// 0, or the system's error of the step that failed.
DWORD WriteTags(const std::wstring& bag, const BagRequest& request, const BagCopy& copy,
                std::vector<archive::ArchivedFile>& files, BagOutcome& outcome) {
    const std::wstring data = FilesFolder(bag);
    std::set<std::string> dropped;
    for (;;) {
        outcome.bytes = 0;
        for (const archive::ArchivedFile& file : files) outcome.bytes += file.size;
        outcome.files = files.size();
        outcome.damagedFiles = archive::DamagedCount(files, copy.Unread());
        archive::BagEnd end;
        end.budgetSpent = outcome.budgetSpent;
        end.targetFull = outcome.targetFull;
        end.notCopied = outcome.summary;
        for (const auto& note : copy.Renamed()) {
            const std::string stored = note.second.substr(0, note.second.find(" <- "));
            if (dropped.count(stored) == 0) end.notes.push_back(note);
        }
        end.ended = Now();
        const archive::InfoFields info =
            archive::BagInfoFields(request.label, request.fields, files, copy.Unread(), end);
        Sha256 hash;
        std::vector<archive::TagFile> tags =
            archive::TagFiles(files, copy.Unread(), info, [&](std::string_view tagText) {
                hash.Add(tagText.data(), tagText.size());
                return hash.Finish().value_or(std::string());
            });
        std::erase_if(tags,
                      [](const archive::TagFile& tag) { return tag.first == kDeclarationName; });
        DWORD failed = 0;
        std::uint64_t room = 0;
        for (const auto& [name, text] : tags) {
            room += Clusters(text.size());
            if (!failed) failed = WriteTagFile(Below(bag, name), text);
        }
        if (!failed) return 0;
        // The disk filled up at the last file, or the tag files' few clusters were the last
        // straw: the last whole files give up their room, and the bag keeps the rest.
        if (!IsTargetFull(failed) || files.empty()) return failed;
        for (const auto& [name, text] : tags) ::DeleteFileW(Below(bag, name).c_str());
        outcome.targetFull = true;
        std::uint64_t freed = 0;
        while (!files.empty() && freed < room) {
            if (!::DeleteFileW(Below(data, files.back().path).c_str()) &&
                ::GetLastError() != ERROR_FILE_NOT_FOUND) {
                return failed;
            }
            freed += Clusters(files.back().size);
            dropped.insert(archive::ManifestPath(files.back().path));
            files.pop_back();
        }
    }
}

}  // namespace

struct Win32BagWriter::State {
    bool used = false;
    bool built = false;
    std::wstring target;  // the target folder, long form
    std::wstring bag;     // the bag being built, long form; empty when none
    UniqueHandle lock;    // held until the bag has its name (LockBag)

    void Discard() {
        lock.Reset();
        if (!bag.empty()) RemoveTree(bag);
        bag.clear();
        built = false;
    }
    BagOutcome Fail(BagOutcome outcome, DWORD error, const std::wstring& path) {
        outcome.result = BagResult::Failed;
        outcome.error = error;
        outcome.failedPath = ShownPath(path);
        Discard();
        return outcome;
    }
};

Win32BagWriter::Win32BagWriter() : state_(std::make_unique<State>()) {}

Win32BagWriter::~Win32BagWriter() {
    state_->Discard();
}

std::wstring Win32BagWriter::BuildingPath() const {
    return ShownPath(state_->bag);
}

BagOutcome Win32BagWriter::Build(const BagRequest& request, BagProgress& progress) {
    BagOutcome outcome;
    State& s = *state_;
    if (s.used) {
        // The bag already made stays as it is, for its Publish.
        outcome.error = ERROR_ALREADY_INITIALIZED;
        outcome.failedPath = request.targetFolder;
        return outcome;
    }
    s.used = true;
    s.target = FullLongPath(request.targetFolder);
    if (s.target.empty()) return s.Fail(outcome, ::GetLastError(), request.targetFolder);
    if (const DWORD error = MakeFolders(s.target)) return s.Fail(outcome, error, s.target);

    RemoveStaleBags(s.target);
    std::mt19937_64 random(std::random_device{}());
    const BagOwner self = ThisWriter();
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && error == ERROR_ALREADY_EXISTS; ++attempt) {
        const std::wstring bag = JoinPath(s.target, TempBagName(self, random()));
        if (!::CreateDirectoryW(bag.c_str(), nullptr)) {
            error = ::GetLastError();
            continue;
        }
        unsigned long lockError = 0;
        s.lock = LockBag(bag, lockError);
        if (s.lock.Valid()) {
            s.bag = bag;
            error = 0;
            break;
        }
        RemoveTree(bag);
        // A cleaner that took the empty, still unlocked folder for a leftover: another name.
        error = lockError == ERROR_PATH_NOT_FOUND ? ERROR_ALREADY_EXISTS : lockError;
    }
    if (error != 0) return s.Fail(outcome, error, s.target);
    ::SetFileAttributesW(s.bag.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::wstring data = FilesFolder(s.bag);
    if (!::CreateDirectoryW(JoinPath(s.bag, L"data").c_str(), nullptr) ||
        !::CreateDirectoryW(data.c_str(), nullptr)) {
        return s.Fail(outcome, ::GetLastError(), data);
    }
    // Written before the payload: a bag whose disk fills up still has its declaration, and what
    // the payload leaves for the other tag files is made room for in WriteTags.
    const std::wstring declaration = JoinPath(s.bag, L"bagit.txt");
    if (const DWORD failed = WriteTagFile(declaration, archive::BagDeclaration())) {
        outcome.targetFull = IsTargetFull(failed);
        return s.Fail(outcome, failed, declaration);
    }

    const std::wstring root = FullLongPath(request.discRoot);
    if (root.empty()) return s.Fail(outcome, ::GetLastError(), request.discRoot);
    BagCopy copy(progress, request.readUntil);
    const BagCopy::Stop stop = copy.Copy(root, data);
    outcome.summary = copy.Summary();
    if (stop == BagCopy::Stop::Cancel) {
        outcome.cancelled = true;
        return s.Fail(outcome, ERROR_CANCELLED, root);
    }
    if (stop == BagCopy::Stop::Failed) return s.Fail(outcome, copy.Error(), copy.FailedPath());
    // What a spent budget or a full disk stopped is a bag of what was written: every file in
    // it is whole.
    outcome.budgetSpent = stop == BagCopy::Stop::Budget;
    outcome.targetFull = stop == BagCopy::Stop::TargetFull;
    std::vector<archive::ArchivedFile> files = copy.Files();
    if (const DWORD failed = WriteTags(s.bag, request, copy, files, outcome)) {
        outcome.targetFull = outcome.targetFull || IsTargetFull(failed);
        return s.Fail(outcome, failed, s.bag);
    }
    s.built = true;
    const bool incomplete = outcome.damagedFiles > 0 || outcome.budgetSpent || outcome.targetFull;
    outcome.result = incomplete ? BagResult::Incomplete : BagResult::Complete;
    return outcome;
}

Win32BagWriter::Published Win32BagWriter::Publish(const std::wstring& name, unsigned long* error) {
    State& s = *state_;
    const auto failed = [&](DWORD number) {
        if (error) *error = number;
        return Published::Failed;
    };
    if (!s.built) return failed(ERROR_FILE_NOT_FOUND);
    // One name in the target folder, as Windows keeps it: no path, no device, no dots.
    if (name.empty() || StoredName(name) != name) return failed(ERROR_INVALID_NAME);
    const std::wstring published = JoinPath(s.target, name);
    const DWORD attributes = ::GetFileAttributesW(s.bag.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        ::SetFileAttributesW(s.bag.c_str(), attributes & ~FILE_ATTRIBUTE_HIDDEN);
    }
    if (!::MoveFileExW(s.bag.c_str(), published.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD number = ::GetLastError();
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            ::SetFileAttributesW(s.bag.c_str(), attributes);
        }
        if (number == ERROR_ALREADY_EXISTS || number == ERROR_FILE_EXISTS) {
            return Published::NameTaken;
        }
        return failed(number);
    }
    // The finished bag holds nothing of its writer.
    s.lock.Reset();
    ::DeleteFileW(BagLockPath(published).c_str());
    s.bag.clear();
    s.built = false;
    return Published::Done;
}

}  // namespace dravolin::win32
