#include "platform/cli/SourceArchiver.h"

namespace dravolin::cli {

// The Linux archiver's target, but for what the program reports and a source that is no drive.
class SourceArchiver::SourceTarget : public lnx::LinuxArchiver::FolderTarget {
  public:
    SourceTarget(SourceArchiver& source, const std::string& folder)
        : FolderTarget(source.archiver_, folder), source_(source) {}

    std::string ReadLog() override {
        source_.logRead_ = FolderTarget::ReadLog();
        return source_.logRead_;
    }
    bool AppendLog(const archive::LogRow& row) override {
        source_.row_ = row;
        source_.logged_ = FolderTarget::AppendLog(row);
        return source_.logged_;
    }
    BagOutcome BuildBag(const Bag& bag) override;

  private:
    SourceArchiver& source_;
};

std::unique_ptr<Archiver::Target> SourceArchiver::OpenTarget(const std::string& folder) {
    return std::make_unique<SourceTarget>(*this, folder);
}

Archiver::BagOutcome SourceArchiver::SourceTarget::BuildBag(const Bag& bag) {
    const SourceDisc& disc = source_.disc_;
    if (disc.isDrive || Path().empty()) return FolderTarget::BuildBag(bag);
    const std::unique_ptr<lnx::CopyPrompts> prompts =
        source_.prompts_.Begin(bag.owner, lnx::CopySource{bag.letter, source_.source_}, Path());
    if (!disc.cdImage.empty()) {
        prompts->OnMounted(disc.cdImage);
        return archiver_.BagCdImage(bag, Path(), disc.cdImage,
                                    lnx::LinuxArchiver::FolderFields(bag, source_.source_, nullptr),
                                    *prompts);
    }
    if (!disc.imageFile.empty()) {
        prompts->OnMounted(disc.imageFile);
        return archiver_.BagImageFile(
            bag, Path(), disc.imageFile,
            lnx::LinuxArchiver::FolderFields(bag, source_.source_, nullptr), *prompts);
    }
    prompts->OnMounted(disc.folder);
    return archiver_.BagFiles(bag, Path(), disc.folder,
                              lnx::LinuxArchiver::FolderFields(bag, source_.source_, disc.drive),
                              *prompts);
}

}  // namespace dravolin::cli
