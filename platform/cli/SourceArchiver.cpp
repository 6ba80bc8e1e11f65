#include "platform/cli/SourceArchiver.h"

namespace dravolin::cli {

std::string SourceArchiver::ReadLog(const std::string& folder) {
    logRead_ = archiver_.ReadLog(folder);
    return logRead_;
}

bool SourceArchiver::AppendLog(const std::string& folder, const archive::LogRow& row) {
    row_ = row;
    logged_ = archiver_.AppendLog(folder, row);
    return logged_;
}

Archiver::BagOutcome SourceArchiver::BuildBag(const Bag& bag) {
    if (disc_.isDrive) return archiver_.BuildBag(bag);
    const std::unique_ptr<lnx::CopyPrompts> prompts =
        prompts_.Begin(bag.owner, lnx::CopySource{bag.letter, source_}, bag.folder);
    if (!disc_.imageFile.empty()) {
        prompts->OnMounted(disc_.imageFile);
        return archiver_.BagImageFile(bag, disc_.imageFile,
                                      lnx::LinuxArchiver::FolderFields(bag, source_, nullptr),
                                      *prompts);
    }
    prompts->OnMounted(disc_.folder);
    return archiver_.BagFiles(
        bag, disc_.folder, lnx::LinuxArchiver::FolderFields(bag, source_, disc_.drive), *prompts);
}

}  // namespace dravolin::cli
