#pragma once
#include <memory>
#include <string>
#include "platform/Archiver.h"
#include "platform/win32/archive/ArchiveDesk.h"
#include "platform/win32/archive/BagWriting.h"
#include "platform/win32/archive/Win32LogFile.h"

namespace dravolin::win32 {

// Archive mode's file work on Windows: the log in the target folder, the bag of the disc in a
// drive (written by the bag writer straight from the drive's root), and the desktop's progress
// windows and notifications.
//
// Strings: a target's folder is in the ANSI code page, as the dialog's combo box gives
// it. Labels are UTF-8: ReadDisc reads them with the wide call, so that the log (a UTF-8 file)
// and the bag's name keep a label the ANSI code page cannot hold; the core then hands that
// label back in Bag. Bag names are UTF-8, as archive::BagName makes them.
//
// Thread-safe: every member only reads what it was built with.
class Win32Archiver : public Archiver {
  public:
    struct Parts {
        BagWriterFactory writers;           // null: no bag can be made
        std::shared_ptr<ArchiveDesk> desk;  // null: nothing is shown
        LogWrite logWrite = nullptr;        // null: WriteFile
    };
    explicit Win32Archiver(Parts parts) : parts_(std::move(parts)) {}

    // One target folder, bound once per disc: `folder` as the dialog gave it, and as the file
    // calls take it (TargetOf), found once.
    class FolderTarget : public Target {
      public:
        FolderTarget(Win32Archiver& archiver, std::string folder)
            : archiver_(archiver), folder_(std::move(folder)), target_(TargetOf(folder_)) {}

        std::string ReadLog() override;
        bool AppendLog(const archive::LogRow& row) override;
        std::string LogFileName() override;
        std::vector<BagInfoText> ReadBagInfos() override;
        std::unique_ptr<Claim> ClaimDisc(const std::string& identity) override;
        bool NameTaken(const std::string& name) override;
        BagOutcome BuildBag(const Bag& bag) override;
        void WritePage(const archive::PageTexts& texts) override;

      private:
        Win32Archiver& archiver_;
        std::string folder_;
        std::wstring target_;
    };

    std::unique_ptr<Target> OpenTarget(const std::string& folder) override;
    archive::LocalTime Now() override;
    // Asks the drive's root as the drive's row does, so the fingerprint is the row's serial.
    std::optional<DiscIdentity> ReadDisc(char letter) override;
    void Notify(Urgency urgency, const std::string& text) override;

    // The program's own bag-info.txt lines for a disc, `labelUtf8` its label.
    static BagFields DriveFields(const Bag& bag, const std::string& labelUtf8);
    // The target folder as the file calls take it: wide, without a trailing backslash unless
    // it is a drive's root. Empty when `folder` is.
    static std::wstring TargetOf(const std::string& folder);

  private:
    // A FolderTarget's BuildBag, into the folder at `target`.
    BagOutcome BuildBag(const Bag& bag, const std::wstring& target);

    Parts parts_;
};

}  // namespace dravolin::win32
