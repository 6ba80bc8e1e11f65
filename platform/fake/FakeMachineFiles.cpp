// The file-system half of the fake machine: volumes, folders and files, the shell copy, folder
// preparation and shell file information.
#include <algorithm>
#include "platform/Types.h"
#include "platform/fake/FakeControls.h"
#include "platform/fake/FakeMachine.h"
#include "platform/fake/FakePaths.h"

namespace dravolin::fake {

namespace {

constexpr std::int32_t kPathNotFound = static_cast<std::int32_t>(0x80070003u);
// The fake's SHFileOperation results: unsupported function, no readable source, unusable target.
constexpr int kCopyUnsupported = 1;
constexpr int kCopyNoSource = 2;
constexpr int kCopyNoTarget = 3;

// A folder or file name Windows would refuse.
bool ValidName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name) {
        if (c < 0x20 ||
            std::string_view("<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::string LastComponent(const std::string& canonical) {
    const auto slash = canonical.rfind('\\');
    return slash == std::string::npos ? canonical : canonical.substr(slash + 1);
}

std::string ParentOf(const std::string& canonical) {
    const auto slash = canonical.rfind('\\');
    return slash == std::string::npos ? std::string() : canonical.substr(0, slash);
}

}  // namespace

// --- File system (tests) ---

void FakeMachine::AddVolume(char letter, bool writable) {
    std::lock_guard lock(mutex_);
    volumes_[UpperAscii(letter)] = writable;
}

void FakeMachine::AddFolder(const std::string& path) {
    std::lock_guard lock(mutex_);
    MakeFoldersLocked(CanonicalPath(path));
}

void FakeMachine::AddFile(const std::string& path, const std::string& content) {
    const std::string canonical = CanonicalPath(path);
    std::lock_guard lock(mutex_);
    MakeFoldersLocked(ParentOf(canonical));
    const std::string key = UpperAscii(canonical);
    files_[key] = content;
    names_.try_emplace(key, canonical);
}

bool FakeMachine::FolderExists(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return FolderExistsLocked(PathKey(path));
}

std::optional<std::string> FakeMachine::FileContent(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = files_.find(PathKey(path));
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> FakeMachine::AllFiles() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> all;
    for (const auto& [key, name] : names_) all.push_back(name);
    std::sort(all.begin(), all.end());
    return all;
}

void FakeMachine::SetPrepareResult(std::optional<std::int32_t> hr) {
    std::lock_guard lock(mutex_);
    prepareResult_ = hr;
}

void FakeMachine::SetPreparePrompt(std::function<void()> prompt) {
    std::lock_guard lock(mutex_);
    preparePrompt_ = std::move(prompt);
}

void FakeMachine::HoldCopies() {
    std::lock_guard lock(mutex_);
    holdCopies_ = true;
}

void FakeMachine::ReleaseCopies() {
    {
        std::lock_guard lock(mutex_);
        holdCopies_ = false;
    }
    copiesReleased_.notify_all();
}

bool FakeMachine::FolderExistsLocked(const std::string& key) const {
    if (key.size() == 2 && PathLetter(key) != 0) return volumes_.count(key[0]) != 0;
    return folders_.count(key) != 0;
}

bool FakeMachine::MakeFoldersLocked(const std::string& path) {
    if (PathLetter(path) == 0 || (path.size() > 2 && path[2] != '\\')) return false;
    std::size_t end = 2;  // past "X:"
    while (end < path.size()) {
        const std::size_t next = std::min(path.find('\\', end + 1), path.size());
        if (!ValidName(path.substr(end + 1, next - end - 1))) return false;
        const std::string key = UpperAscii(path.substr(0, next));
        if (files_.count(key) != 0) return false;
        folders_.insert(key);
        end = next;
    }
    return true;
}

// --- ShellCopy ---

int FakeMachine::FileOperation(const Operation& op) {
    const std::string from = FirstListEntry(op.from);
    const std::string to = FirstListEntry(op.to);
    log_.Add("SHFileOperationA " + std::to_string(op.owner) + " " + std::to_string(op.function) +
             " " + from + " -> " + to + " " + std::to_string(op.flags));
    std::unique_lock lock(mutex_);
    copiesReleased_.wait(lock, [this] { return !holdCopies_; });

    if (op.function != win::kFoCopy) return kCopyUnsupported;
    const FakeDrive* drive =
        from.size() == 6 && from.substr(2) == "\\*.*" ? FindDrive(PathLetter(from)) : nullptr;
    if (drive == nullptr || !drive->Readable()) return kCopyNoSource;
    const std::string target = CanonicalPath(to);
    auto volume = volumes_.find(PathLetter(target));
    if (volume == volumes_.end() || !volume->second || !MakeFoldersLocked(target)) {
        return kCopyNoTarget;
    }
    const FakeDisc disc = *drive->disc;
    int result = 0;
    for (const auto& folder : disc.folders) {
        if (!MakeFoldersLocked(CanonicalPath(target + "\\" + folder))) result = kCopyNoTarget;
    }
    for (const auto& [relative, content] : disc.files) {
        const std::string path = CanonicalPath(target + "\\" + relative);
        const std::string key = UpperAscii(path);
        if (!MakeFoldersLocked(ParentOf(path)) || folders_.count(key) != 0 ||
            !ValidName(LastComponent(path))) {
            result = kCopyNoTarget;
            continue;
        }
        files_[key] = content;  // replaces, keeping the existing file's name as Windows does
        names_.try_emplace(key, path);
    }
    return result;
}

// --- PathPreparer ---

std::int32_t FakeMachine::PrepareForWrite(WindowHandle owner, const std::string& path,
                                          std::uint32_t flags) {
    log_.Add("SHPathPrepareForWriteA " + std::to_string(owner) + " " + path + " " +
             std::to_string(flags));
    std::function<void()> prompt;
    {
        std::lock_guard lock(mutex_);
        prompt = preparePrompt_;
    }
    // Outside the lock: the prompt's nested loop calls back into the machine.
    if (prompt) prompt();

    std::lock_guard lock(mutex_);
    if (prepareResult_) return *prepareResult_;
    const std::string canonical = CanonicalPath(path);
    auto volume = volumes_.find(PathLetter(canonical));
    if (volume == volumes_.end() || !volume->second) return kPathNotFound;
    if ((flags & win::kShppfwDirCreate) != 0 && !MakeFoldersLocked(canonical)) {
        return kPathNotFound;
    }
    return FolderExistsLocked(UpperAscii(canonical)) ? win::kSOk : kPathNotFound;
}

// --- ShellInfo ---

ShellInfo::FileInfo FakeMachine::GetFileInfo(const std::string& path, std::uint32_t attributes,
                                             std::uint32_t flags) {
    (void)attributes;
    log_.Add("SHGetFileInfoA " + path + " " + Hex(flags));
    bool hasIcon = false;
    std::string displayName;
    {
        std::lock_guard lock(mutex_);
        const char root = path.size() == 3 ? RootLetter(path) : 0;
        const FakeDrive* drive = root != 0 ? FindDrive(root) : nullptr;
        if (drive != nullptr) {
            hasIcon = drive->hasShellIcon;
            displayName = drive->displayName.empty()
                              ? "CD Drive (" + std::string(1, drive->letter) + ":)"
                              : drive->displayName;
        } else if (const std::string key = PathKey(path); FolderExistsLocked(key)) {
            hasIcon = true;
            displayName =
                key.size() == 2 ? "Local Disk (" + key + ")" : LastComponent(CanonicalPath(path));
        }
    }
    FileInfo info;
    if (hasIcon && (flags & win::kShgfiIcon) != 0) {
        info.icon = std::make_unique<FakeIcon>("shell:" + path, false, &log_);
    }
    if ((flags & win::kShgfiDisplayName) != 0) info.displayName = displayName;
    return info;
}

}  // namespace dravolin::fake
