#include "platform/linux/archive/FilesFromTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <limits>
#include "platform/linux/copy/SafeName.h"
#include "platform/linux/copy/SourceTree.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

// Where an entry goes: its folder below data/files/, open, and its name there.
struct Place {
    UniqueFd folder;
    std::string name;
};

// The steps of a path as the file system names it; false for one the copy's rules refuse.
bool Split(const std::string& path, std::vector<std::string>& steps) {
    steps.clear();
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        steps.push_back(path.substr(at, end - at));
        if (!IsSafeEntryName(steps.back())) return false;
        at = end + 1;
    }
    return true;
}

class TreeWriter {
  public:
    TreeWriter(CopyIo& io, CopyPrompts& prompts, int image, const archive::RescueMap& map,
               int files, ArchiveRecord& record)
        : io_(io),
          prompts_(prompts),
          image_(image),
          map_(map),
          files_(files),
          record_(record),
          buffer_(kChunk) {}

    bool Folder(const TreeEntry& entry);
    // False where the copy ends: cancelled, or a failure recorded.
    bool File(const TreeEntry& entry);
    SkippedEntries skipped;
    CopyProgress progress;

  private:
    // The folder that holds `path`, opened step by step without following a link; false where
    // it cannot be, the name counted or the entry listed unread.
    bool Open(const std::string& path, Place& place);
    bool Write(int fd, const TreeEntry& entry, Sha256& digest, const std::string& path);
    bool Fail(const std::string& path, int error, const std::string& what);

    CopyIo& io_;
    CopyPrompts& prompts_;
    int image_;
    const archive::RescueMap& map_;
    int files_;
    ArchiveRecord& record_;
    std::vector<char> buffer_;
};

bool TreeWriter::Fail(const std::string& path, int error, const std::string& what) {
    record_.failure = CopyFailure{path, error, what + " " + path + ": " + ErrorText(error)};
    return false;
}

bool TreeWriter::Open(const std::string& path, Place& place) {
    std::vector<std::string> steps;
    if (!Split(path, steps)) {
        ++skipped.badNames;
        return false;
    }
    place.name = steps.back();
    steps.pop_back();
    place.folder.Reset(::dup(files_));
    std::string reached;
    for (const std::string& step : steps) {
        reached += (reached.empty() ? "" : "/") + step;
        place.folder.Reset(::openat(place.folder.Get(), step.c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!place.folder) {
            // Its folder was left out, or is a file of the same name: said there already.
            record_.unread.push_back({path, "its folder " + reached + " is not in the bag"});
            return false;
        }
    }
    return true;
}

bool TreeWriter::Folder(const TreeEntry& entry) {
    Place place;
    if (!Open(entry.path, place)) return !record_.failure;
    if (::mkdirat(place.folder.Get(), place.name.c_str(), 0777) != 0 && errno != EEXIST) {
        return Fail(entry.path, errno, "Cannot create the folder");
    }
    return true;
}

bool TreeWriter::Write(int fd, const TreeEntry& entry, Sha256& digest, const std::string& path) {
    std::uint64_t at = 0;
    const auto put = [&](const char* bytes, std::size_t length) {
        digest.Update(bytes, length);
        if (const int error = WriteAll(io_, fd, bytes, length, static_cast<off_t>(at))) {
            return Fail(path, error, "Cannot write");
        }
        at += length;
        progress.bytesDone += length;
        return true;
    };
    if (entry.extents.empty()) return put(entry.inlineData.data(), entry.inlineData.size());
    for (const archive::DiscExtent& extent : entry.extents) {
        for (std::uint64_t done = 0; done < extent.length;) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, extent.length - done));
            const ssize_t got = io_.Read(image_, buffer_.data(), want,
                                         static_cast<off_t>(extent.discOffset + done));
            if (got < 0) return Fail(path, errno, "Cannot read the image for");
            // Past the image's end: never read, which the map says too.
            std::fill(buffer_.begin() + got, buffer_.begin() + static_cast<std::ptrdiff_t>(want),
                      '\0');
            if (!put(buffer_.data(), want)) return false;
            done += want;
            if (!prompts_.OnProgress(progress)) return false;
        }
    }
    return true;
}

bool TreeWriter::File(const TreeEntry& entry) {
    std::uint64_t placed = entry.inlineData.size();
    for (const archive::DiscExtent& extent : entry.extents) {
        if (extent.length > std::numeric_limits<std::uint64_t>::max() - extent.discOffset ||
            extent.discOffset + extent.length > std::numeric_limits<off_t>::max()) {
            placed = ~std::uint64_t{0};
            break;
        }
        placed += extent.length;
    }
    progress.currentFile = entry.path;
    Place place;
    if (!Open(entry.path, place)) return !record_.failure;
    if (placed != entry.size || (!entry.inlineData.empty() && !entry.extents.empty())) {
        record_.unread.push_back(
            {entry.path, "its file system does not say where all of its bytes lie"});
        return true;
    }
    const UniqueFd fd(::openat(place.folder.Get(), place.name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd && errno == EEXIST) {
        record_.unread.push_back({entry.path, "another entry of the disc has the same name"});
        return true;
    }
    if (!fd) return Fail(entry.path, errno, "Cannot create");
    Sha256 digest;
    if (!Write(fd.Get(), entry, digest, entry.path)) {
        ::unlinkat(place.folder.Get(), place.name.c_str(), 0);
        return false;
    }
    if (entry.modified != 0) {
        const timespec times[2] = {{0, UTIME_OMIT}, {entry.modified, 0}};
        ::futimens(fd.Get(), times);
    }
    archive::ArchivedFile file;
    file.path = entry.path;
    file.size = entry.size;
    file.sha256 = digest.Finish();
    file.damaged = archive::UnreadInFile(map_, entry.extents);
    record_.files.push_back(std::move(file));
    ++progress.filesDone;
    return prompts_.OnProgress(progress);
}

}  // namespace

TreeCopier::Result CopyFilesFromTree(CopyIo& io, CopyPrompts& prompts, int image,
                                     const archive::RescueMap& map, const DiscTree& tree, int files,
                                     ArchiveRecord& record) {
    TreeWriter writer(io, prompts, image, map, files, record);
    std::vector<const TreeEntry*> regular;
    TreeCopier::Result result;
    for (const TreeEntry& entry : tree) {
        switch (entry.kind) {
            case TreeEntry::Kind::Folder:
                if (!writer.Folder(entry)) return result;
                break;
            case TreeEntry::Kind::File:
                regular.push_back(&entry);
                writer.progress.bytesTotal += entry.size;
                break;
            case TreeEntry::Kind::Link:
                ++writer.skipped.links;
                break;
            case TreeEntry::Kind::Special:
                ++writer.skipped.special;
                break;
        }
    }
    writer.progress.filesTotal = regular.size();
    // In the order the bytes lie in the image, as the disc was read; a file's own entry's data
    // first.
    const auto start = [](const TreeEntry* entry) {
        return entry->extents.empty() ? 0 : entry->extents.front().discOffset;
    };
    std::stable_sort(regular.begin(), regular.end(),
                     [&](const TreeEntry* a, const TreeEntry* b) { return start(a) < start(b); });
    for (const TreeEntry* entry : regular) {
        if (!writer.File(*entry)) {
            result.outcome = record.failure ? CopyOutcome::Failed : CopyOutcome::Cancelled;
            return result;
        }
    }
    // One flush of the target's disk for every file and folder, before the tag files name them.
    if (io.SyncFileSystem(files) != 0) {
        record.failure = CopyFailure{{}, errno, "Cannot flush the bag: " + ErrorText(errno)};
        return result;
    }
    result.outcome = CopyOutcome::Completed;
    result.summary = SkippedSummary(writer.skipped);
    return result;
}

}  // namespace dravolin::lnx
