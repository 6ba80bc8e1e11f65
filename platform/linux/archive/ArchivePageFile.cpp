#include "platform/linux/archive/ArchivePageFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>
#include <map>
#include "archive/ArchivePage.h"
#include "archive/BagCheck.h"
#include "archive/BagRecord.h"
#include "archive/SameDisc.h"
#include "platform/linux/archive/BagCheck.h"
#include "platform/linux/archive/BagImage.h"
#include "platform/linux/archive/LocalClock.h"
#include "platform/linux/archive/LogFile.h"
#include "platform/linux/archive/TargetClaims.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/store/StoreIo.h"

namespace dravolin::lnx {

namespace {

// Held while the page is gathered and written; invalid where the folder keeps no locks, and the
// page is then written all the same.
UniqueFd TakePageTurn(const std::string& target) {
    UniqueFd fd(::open((target + "/" + kClaimsFileName).c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    struct flock turn {};
    turn.l_type = F_WRLCK;
    turn.l_whence = SEEK_SET;
    turn.l_start = static_cast<off_t>(archive::kPageTurnByte);
    turn.l_len = 1;
    while (fd && ::fcntl(fd.Get(), F_OFD_SETLKW, &turn) != 0) {
        if (errno != EINTR) return UniqueFd();
    }
    return fd;
}

archive::PageBag PageBagOf(int target, const std::string& name) {
    archive::PageBag bag{name, {}, {}, {}};
    const UniqueFd folder(
        ::openat(target, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) return bag;
    bag.bagInfo = ReadBagText(folder.Get(), "bag-info.txt").value_or("");
    std::map<std::string, std::uint64_t> files;
    const UniqueFd data(::openat(folder.Get(), archive::kPayloadFolder,
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // A folder that cannot be listed in full lists what it could.
    if (data) ListFiles(data.Get(), "", files);
    for (auto& [path, size] : files) bag.files.push_back({path.substr(1), size});
    const UniqueFd image(::openat(folder.Get(), archive::kImageFolder,
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (image) bag.map = ReadBagText(image.Get(), BagImage::kMapName).value_or("");
    return bag;
}

std::vector<archive::PageReport> ReportsIn(int target) {
    std::vector<archive::PageReport> reports;
    for (const std::string& name : NamesIn(target)) {
        if (archive::ReportTime(name).empty()) continue;
        if (auto text = ReadBagText(target, name.c_str()))
            reports.push_back({name, std::move(*text)});
    }
    return reports;
}

}  // namespace

bool WriteArchivePage(const std::string& target, const archive::PageTexts& texts) {
    const UniqueFd folder(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return false;
    const UniqueFd turn = TakePageTurn(target);
    archive::PageSources sources;
    sources.log = ReadLogFile(target);
    for (const std::string& name : BagsIn(folder.Get())) {
        sources.bags.push_back(PageBagOf(folder.Get(), name));
    }
    sources.reports = ReportsIn(folder.Get());
    sources.written = LocalTimeAt(std::time(nullptr));
    const std::string page =
        archive::ArchivePage(texts, sources, [](std::string_view text) { return Sha256Of(text); });
    // A writer killed mid-page left its temporary file; one that still writes holds its lock.
    RemoveStoreLeftovers(target);
    return WriteAtomically(target + "/" + archive::kPageFileName, page, kSharedFileMode) == 0;
}

}  // namespace dravolin::lnx
