#pragma once
#include <functional>
#include <memory>
#include <string>
#include "platform/Archiver.h"
#include "platform/linux/archive/BagWriter.h"
#include "platform/linux/audio/AudioBag.h"
#include "platform/linux/archive/TargetRoom.h"
#include "platform/linux/archive/DesktopNotifications.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/drives/DriveStates.h"
#include "platform/linux/drives/OpticalDrives.h"
#include "platform/linux/mount/DiscMounter.h"

namespace dravolin::lnx {

// Archive mode's file work on Linux: the log in the target folder, the bag of a disc in a
// drive (mounted as a copy mounts it, written by BagWriter), and the desktop's notifications.
// A bag is made in two parts: BuildBag finds the drive, mounts its disc and lets go of it
// afterwards; BagFiles bags a folder that is already there, which is all a program needs whose
// disc someone else mounted. Thread-safe: every member only reads what it was built with.
class LinuxArchiver : public Archiver {
  public:
    struct Parts {
        std::shared_ptr<const OpticalDrives> drives;
        std::shared_ptr<DiscMounter> mounter;
        std::shared_ptr<DriveStates> states;
        // The face of each disc's copy: its progress window. An archive copy asks nothing.
        std::shared_ptr<CopyPromptsFactory> prompts;
        std::shared_ptr<CopyIo> io;
        std::shared_ptr<DesktopNotifications> notifications;  // null: none
        // Told why a disc got no bag (its mount, the copy or the target failed), on the
        // worker, before BuildBag or BagFiles returns; empty: nobody asks.
        std::function<void(const CopyFailure&)> failures = nullptr;
        // The drives' own calls: set, a disc is read once into an image in its bag, and its
        // files are taken out of that image (ImageUseOf); null, out of the mounted disc.
        std::shared_ptr<CdromIo> cdrom = nullptr;
    };
    explicit LinuxArchiver(Parts parts) : parts_(std::move(parts)) {}

    // One target folder, bound once per disc: `folder` as the dialog or the command line gave
    // it, the folder it names here (FolderOfTarget) found once; where it names none, what the
    // target is asked fails.
    class FolderTarget : public Target {
      public:
        FolderTarget(LinuxArchiver& archiver, std::string folder);
        // The folder's own path; empty where `folder` names none.
        const std::string& Path() const { return path_; }

        std::string ReadLog() override;
        bool AppendLog(const archive::LogRow& row) override;
        std::string LogFileName() override;
        std::vector<BagInfoText> ReadBagInfos() override;
        std::unique_ptr<Claim> ClaimDisc(const std::string& identity) override;
        bool NameTaken(const std::string& name) override;
        // The disc in the drive `bag.letter`: mounted, bagged by BagFiles with DriveFields,
        // let go.
        BagOutcome BuildBag(const Bag& bag) override;
        void WritePage(const archive::PageTexts& texts) override;

      protected:
        LinuxArchiver& archiver_;

      private:
        std::string folder_;
        std::string path_;
    };

    std::unique_ptr<Target> OpenTarget(const std::string& folder) override;
    archive::LocalTime Now() override;
    std::optional<DiscIdentity> ReadDisc(char letter) override;
    void Notify(Urgency urgency, const std::string& text) override;

    // Bags the files under `root` (a mounted disc, any folder) into a new bag in the folder at
    // `target` (a FolderTarget's Path), named as BuildBag names it; `fields` are the program's
    // own lines of bag-info.txt. The copy's progress and its end go to `prompts`, whose
    // OnMounted the caller has called. `bag.letter` and `bag.owner` are not looked at. With
    // `image`, the disc is read into its image in the bag too, and the files are taken out of
    // that image where it mounts one (`root` is then not looked at either).
    // With `audio`, its audio tracks are ripped into the bag after its data; with neither
    // `root` nor `image`, the bag holds the audio alone.
    BagOutcome BagFiles(const Bag& bag, const std::string& target, const std::string& root,
                        const BagFields& fields, CopyPrompts& prompts,
                        const ImageRead* image = nullptr, const AudioRead* audio = nullptr);

    // Bags the disc image at `path` that libcdio's image drivers read (a BIN/CUE sheet, a
    // cdrdao TOC file) as BuildBag bags a drive's disc: its audio tracks ripped, its data
    // tracks read into the bag's image and their files taken out of it. The caller has called
    // the prompts' OnMounted.
    BagOutcome BagCdImage(const Bag& bag, const std::string& target, const std::string& path,
                          const BagFields& fields, CopyPrompts& prompts);

    // Bags the ISO 9660 or UDF image file at `path` as BuildBag bags a drive's disc: read into
    // the bag's image (as the bag keeps it), its files taken out of that image. The caller has
    // called the prompts' OnMounted.
    BagOutcome BagImageFile(const Bag& bag, const std::string& target, const std::string& path,
                            const BagFields& fields, CopyPrompts& prompts);

    // The program's own bag-info.txt lines for a disc read in `drive`.
    static BagFields DriveFields(const Bag& bag, const OpticalDrive& drive);
    // The same for files read from a folder, `source` as the user named it; `drive` when the
    // folder is where that drive's disc is mounted.
    static BagFields FolderFields(const Bag& bag, const std::string& source,
                                  const OpticalDrive* drive);

  private:
    // A FolderTarget's BuildBag, and its work.
    BagOutcome BuildBag(const Bag& bag, const std::string& target);
    BagOutcome BagDisc(const Bag& bag, const std::string& target);
    // The audio tracks of the disc in `drive`, ready to rip; nullopt for a disc without any,
    // or where libcdio cannot read them.
    std::optional<AudioRead> AudioOf(const OpticalDrive& drive) const;
    void TellFailure(const CopyFailure& failure) const;

    Parts parts_;
    TargetRoom room_;
};

}  // namespace dravolin::lnx
