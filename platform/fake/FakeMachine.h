#pragma once
// The in-memory machine for tests: drives with trays and discs, a file system, and the
// services that reach them (drive type and volume queries, device control, the shell copy,
// folder preparation, shell file information). Every call is written to the shared CallLog.
// Drive and file-system state is guarded by one mutex, so workers may run on real threads.
#include <cstdint>
#include <functional>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>
#include "platform/DeviceControl.h"
#include "platform/PathPreparer.h"
#include "platform/ShellCopy.h"
#include "platform/ShellInfo.h"
#include "platform/Volumes.h"
#include "platform/fake/CallLog.h"

namespace dravolin::fake {

// A disc: label, volume serial and files. File paths are relative to the disc's root and use
// backslashes ("Docs\\a.txt"); folders are implied by the paths, empty ones listed in `folders`.
struct FakeDisc {
    std::string label;
    std::uint32_t serial = 0;
    std::map<std::string, std::string> files;  // relative path -> content
    std::vector<std::string> folders;          // extra (empty) folders
};

struct FakeDrive {
    char letter = 0;
    std::uint32_t driveType = 5;  // win::kDriveCdrom
    bool trayOpen = false;
    std::optional<FakeDisc> disc;
    // Media tests that still fail after the tray closed on a disc (a drive spinning up); each
    // such failing test uses one up. Volume queries and copies fail while it is above 0.
    int notReadyChecks = 0;
    // Injected failures.
    bool openFails = false;     // CreateFileA fails (access denied)
    bool controlFails = false;  // every DeviceIoControl fails
    bool hasShellIcon = true;   // SHGetFileInfoA gives an icon for the drive's root
    std::string displayName;    // shell display name; "CD Drive (E:)" when empty

    // A disc behind a closed tray in a drive that is ready: what volume queries and copies
    // need. A drive still spinning up (notReadyChecks > 0) fails them too.
    bool Readable() const { return disc.has_value() && !trayOpen && notReadyChecks == 0; }
};

// The state of the fake machine and every service built on it.
//
// Call-log lines (exact formats tests rely on):
//   "GetDriveTypeA <root>"                   "GetVolumeInformationA <root>"
//   "CreateFileA <path> <access hex> <share> <disposition>"   e.g. "CreateFileA \\.\E: 0x80000000 3
//   3" "DeviceIoControl <path> <code hex>"      e.g. "DeviceIoControl \\.\E: 0x74800" "CloseHandle
//   <path>" "SHFileOperationA <owner> <func> <from> -> <to> <flags>"  (from/to printed up to their
//   first NUL) "SHPathPrepareForWriteA <owner> <path> <flags>" "SHGetFileInfoA <path> <flags hex>"
// Hex values are printed with "0x" and lower-case digits, no padding.
class FakeMachine : public Volumes,
                    public DeviceControl,
                    public ShellCopy,
                    public PathPreparer,
                    public ShellInfo {
  public:
    explicit FakeMachine(CallLog& log);

    // --- Drives (tests) ---
    FakeDrive& AddDrive(char letter, std::uint32_t driveType = 5);
    // Runs `change` on the drive under the machine's lock (for tests with real threads).
    void WithDrive(char letter, const std::function<void(FakeDrive&)>& change);
    FakeDrive DriveSnapshot(char letter) const;
    // Puts a disc in (closes nothing: the tray state is left as it is).
    void InsertDisc(char letter, FakeDisc disc);
    void RemoveDisc(char letter);

    // --- File system (tests) --- paths are Windows-style, e.g. "C:\\Data\\"; letter case is
    // ignored as on Windows. A drive root exists when AddVolume was called for it.
    void AddVolume(char letter, bool writable = true);
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, const std::string& content);
    bool FolderExists(const std::string& path) const;
    std::optional<std::string> FileContent(const std::string& path) const;
    std::vector<std::string> AllFiles() const;  // full paths, sorted
    // The HRESULT the next preparations return instead of acting on the file system.
    void SetPrepareResult(std::optional<std::int32_t> hr);
    // Called inside PrepareForWrite before it answers, as a shell prompt's nested loop would
    // deliver timer ticks. Cleared by passing nullptr.
    void SetPreparePrompt(std::function<void()> prompt);
    // Blocks every copy until ReleaseCopies (for tests with real threads).
    void HoldCopies();
    void ReleaseCopies();

    // --- Volumes ---
    std::uint32_t GetDriveType(const std::string& root) override;
    Info GetVolumeInformation(const std::string& root, std::uint32_t labelCapacity) override;
    // --- DeviceControl: check-verify is true with a disc, the tray closed and the drive
    // ready; eject opens the tray; load closes it.
    std::unique_ptr<Device> Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                                 std::uint32_t disposition) override;
    // --- ShellCopy: copies every file and folder of the disc in the source's drive (from
    // "E:\*.*") into the target folder, replacing existing files; fails (non-zero) without a
    // readable disc or a writable target volume.
    int FileOperation(const Operation& op) override;
    // --- PathPreparer: creates the folder and its parents on a writable volume; S_OK when it
    // then exists, 0x80070003 (path not found) otherwise.
    std::int32_t PrepareForWrite(WindowHandle owner, const std::string& path,
                                 std::uint32_t flags) override;
    // --- ShellInfo: a drive root gives the drive's display name and, if hasShellIcon, the icon
    // "shell:<path>"; an existing folder gives the icon "shell:<path>"; anything else no icon.
    FileInfo GetFileInfo(const std::string& path, std::uint32_t attributes,
                         std::uint32_t flags) override;

  private:
    class Handle;
    bool ControlLocked(char letter, std::uint32_t code);
    FakeDrive* FindDrive(char letter);
    const FakeDrive* FindDrive(char letter) const;
    // Creates a folder and its missing parents; false when a name is invalid or a file is in
    // the way. `path` is canonical ("C:\\Data\\Discs").
    bool MakeFoldersLocked(const std::string& path);
    bool FolderExistsLocked(const std::string& key) const;

    CallLog& log_;
    mutable std::mutex mutex_;
    std::map<char, FakeDrive> drives_;
    std::map<char, bool> volumes_;              // drive letter (upper) -> writable
    std::set<std::string> folders_;             // upper-cased, no trailing backslash
    std::map<std::string, std::string> files_;  // upper-cased key -> content
    std::map<std::string, std::string> names_;  // upper-cased key -> path as written
    std::optional<std::int32_t> prepareResult_;
    std::function<void()> preparePrompt_;
    bool holdCopies_ = false;
    std::condition_variable copiesReleased_;
};

}  // namespace dravolin::fake
