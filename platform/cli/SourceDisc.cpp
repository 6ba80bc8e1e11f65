#include "platform/cli/SourceDisc.h"

#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>
#include "archive/AudioDisc.h"
#include "archive/Recovery.h"
#include "platform/linux/audio/CdioBytes.h"
#include "platform/linux/drives/KernelToc.h"
#include "platform/linux/drives/VolumeReader.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/mount/MountTable.h"

namespace dravolin::cli {

namespace {

namespace fs = std::filesystem;

const lnx::OpticalDrive* DriveOf(const lnx::OpticalDrives& drives, dev_t device) {
    for (const lnx::OpticalDrive& drive : drives.All()) {
        struct stat info {};
        if (::stat(drive.deviceNode.c_str(), &info) == 0 && S_ISBLK(info.st_mode) &&
            info.st_rdev == device) {
            return &drive;
        }
    }
    return nullptr;
}

std::optional<lnx::VolumeIdentity> IdentityOf(const std::string& deviceNode) {
    const lnx::UniqueFd fd(::open(deviceNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return std::nullopt;
    return lnx::ReadVolumeIdentity(fd.Get());
}

// An audio CD in a drive, known by its table of contents as the dialog knows it.
std::optional<lnx::AudioIdentity> AudioIdentityOfDrive(const std::string& deviceNode) {
    lnx::CdromIo io;
    const lnx::UniqueFd fd = io.Open(deviceNode);
    const std::optional<archive::DiscToc> toc =
        fd ? lnx::ReadKernelToc(io, fd.Get()) : std::nullopt;
    return toc ? lnx::AudioIdentityOf(*toc) : std::nullopt;
}

// The device node of the block device whose whole file system is mounted at `folder`, checked
// by its device number: the mount table's source is whatever text the mounter chose.
std::optional<std::string> DeviceMountedAt(const std::string& folder,
                                           const lnx::OpticalDrives& drives,
                                           const std::string& mountInfo) {
    const std::vector<lnx::MountEntry> table = lnx::ReadMountInfo(mountInfo);
    // The last mount on a folder is the one its path reaches.
    const auto entry = std::find_if(table.rbegin(), table.rend(), [&](const lnx::MountEntry& e) {
        return e.mountPoint == folder;
    });
    if (entry == table.rend() || entry->root != "/" || entry->major == 0) return std::nullopt;
    const dev_t device = makedev(entry->major, entry->minor);
    if (const lnx::OpticalDrive* drive = DriveOf(drives, device)) return drive->deviceNode;
    for (const std::string& node : {entry->source, "/dev/block/" + std::to_string(entry->major) +
                                                       ":" + std::to_string(entry->minor)}) {
        struct stat info {};
        if (::stat(node.c_str(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == device) {
            return node;
        }
    }
    return std::nullopt;
}

// The SHA-256 of a file's bytes; nullopt when it cannot be read whole.
std::optional<std::string> FileDigest(const fs::path& path) {
    const lnx::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return std::nullopt;
    lnx::Sha256 digest;
    std::vector<char> block(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return digest.Finish();
        digest.Update(block.data(), static_cast<std::size_t>(n));
    }
}

// The ISO 9660 primary descriptor's volume name: d-characters alone, so no code page to guess.
std::optional<std::string> IsoLabel(lnx::DiscBytes& disc, std::uint64_t session) {
    std::uint8_t sector[2048];
    if (!disc.Read(session + 16 * archive::kSector, sector) || sector[0] != 1 ||
        std::string_view(reinterpret_cast<const char*>(sector + 1), 5) != "CD001") {
        return std::nullopt;
    }
    std::string label(reinterpret_cast<const char*>(sector + 40), 32);
    label.erase(label.find_last_not_of(' ') + 1);
    if (label.empty()) return std::nullopt;
    return label;
}

// A CD image is known as its disc would be in a drive: by its data session where it has one
// (its file system's identity, read at the session's start), else by its table of contents. Its
// label is its data's, else its CD-TEXT title, else the image's own name.
bool CdImageSource(const std::string& path, SourceDisc& disc) {
    const std::unique_ptr<lnx::CdioDisc> cd = lnx::CdioDisc::Open(path);
    const std::optional<archive::DiscToc> toc = cd ? cd->ReadToc() : std::nullopt;
    if (!toc || toc->tracks.empty()) return false;
    disc.cdImage = path;
    disc.label = !toc->title.empty() ? toc->title : fs::path(path).stem().string();
    const auto data = std::find_if(toc->tracks.rbegin(), toc->tracks.rend(),
                                   [](const archive::TocTrack& track) { return !track.audio; });
    if (data != toc->tracks.rend()) {
        lnx::CdioBytes bytes(*cd);
        const std::uint64_t session = std::uint64_t{data->start} * archive::kSector;
        disc.identity = lnx::ReadDiscDigest(bytes, session);
        if (const auto serial = lnx::ReadDiscFingerprint(bytes, session)) {
            disc.fingerprint = *serial;
        }
        if (const auto label = IsoLabel(bytes, session)) disc.label = *label;
        if (!disc.identity.empty()) return true;
    }
    disc.identity = lnx::Sha256Of(archive::TocIdentityText(*toc));
    disc.fingerprint = archive::FingerprintOfIdentity(disc.identity);
    return true;
}

}  // namespace

std::string FolderDigest(const std::string& folder) {
    std::vector<std::string> lines;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::string line = it->path().lexically_relative(folder).native();
        line.push_back('\0');
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0) return {};
        if (S_ISREG(info.st_mode)) {
            const std::optional<std::string> content = FileDigest(it->path());
            if (!content) return {};
            line += "file " + *content;
        } else if (S_ISDIR(info.st_mode)) {
            line += "folder";
        } else if (S_ISLNK(info.st_mode)) {
            const fs::path target = fs::read_symlink(it->path(), error);
            if (error) return {};
            line += "link " + target.native();
        } else {
            line += "other " + std::to_string(info.st_mode & S_IFMT);
        }
        lines.push_back(std::move(line));
    }
    // A folder that could not be listed whole is not known.
    if (error) return {};
    // The order a folder lists its entries in is the file system's, not the tree's.
    std::sort(lines.begin(), lines.end());
    lnx::Sha256 digest;
    digest.Update("folder", 6);
    for (const std::string& line : lines) digest.Update(line.data(), line.size() + 1);
    return digest.Finish();
}

std::uint32_t FolderFingerprint(const std::string& folder) {
    std::vector<std::string> lines;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path relative = it->path().lexically_relative(folder);
        struct stat info {};
        std::string line = relative.native();
        line.push_back('\0');
        if (::lstat(it->path().c_str(), &info) == 0) {
            line += std::to_string(info.st_mode & S_IFMT) + ' ' + std::to_string(info.st_size) +
                    ' ' + std::to_string(info.st_mtim.tv_sec) + '.' +
                    std::to_string(info.st_mtim.tv_nsec);
        }
        lines.push_back(std::move(line));
    }
    // The order a folder lists its entries in is the file system's, not the tree's.
    std::sort(lines.begin(), lines.end());
    lnx::Sha256 digest;
    for (const std::string& line : lines) digest.Update(line.data(), line.size() + 1);
    const std::uint32_t value =
        static_cast<std::uint32_t>(std::strtoul(digest.Finish().substr(0, 8).c_str(), nullptr, 16));
    return value == 0 || value == 0xFFFFFFFFu ? 1 : value;
}

std::optional<SourceDisc> FindSource(const std::string& source, const lnx::OpticalDrives& drives,
                                     const std::string& mountInfo, SourceProblem& problem) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) {
        problem = {SourceProblem::Kind::Unreadable, errno};
        return std::nullopt;
    }
    SourceDisc disc;
    if (S_ISBLK(info.st_mode)) {
        disc.drive = DriveOf(drives, info.st_rdev);
        if (!disc.drive) {
            problem = {SourceProblem::Kind::NotASource, 0};
            return std::nullopt;
        }
        disc.isDrive = true;
        // No disc or no file system: the mount says so, and the log keeps it.
        if (const auto identity = IdentityOf(disc.drive->deviceNode)) {
            disc.label = identity->label;
            disc.fingerprint = identity->serial;
            disc.identity = identity->digest;
        } else if (const auto audio = AudioIdentityOfDrive(disc.drive->deviceNode)) {
            disc.label = lnx::kAudioCdLabel;
            disc.fingerprint = audio->serial;
            disc.identity = audio->digest;
        }
        return disc;
    }
    const bool image = S_ISREG(info.st_mode);
    if (!S_ISDIR(info.st_mode) && !image) {
        problem = {SourceProblem::Kind::NotASource, 0};
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    if (!::realpath(source.c_str(), resolved)) {
        problem = {SourceProblem::Kind::Unreadable, errno};
        return std::nullopt;
    }
    if (image && lnx::IsCdImageName(resolved)) {
        if (!CdImageSource(resolved, disc)) {
            problem = {SourceProblem::Kind::Unreadable, EIO};
            return std::nullopt;
        }
        return disc;
    }
    if (image) {
        // Known as the disc it was made of: its image and the disc are one disc.
        const std::optional<lnx::VolumeIdentity> identity = IdentityOf(resolved);
        if (!identity) {
            problem = {SourceProblem::Kind::NotASource, 0};
            return std::nullopt;
        }
        disc.imageFile = resolved;
        disc.label = identity->label;
        disc.fingerprint = identity->serial;
        disc.identity = identity->digest;
        return disc;
    }
    disc.folder = resolved;
    if (const auto node = DeviceMountedAt(disc.folder, drives, mountInfo)) {
        struct stat device {};
        if (::stat(node->c_str(), &device) == 0) disc.drive = DriveOf(drives, device.st_rdev);
        if (const auto identity = IdentityOf(*node)) {
            disc.label = identity->label;
            disc.fingerprint = identity->serial;
            disc.identity = identity->digest;
            return disc;
        }
    }
    disc.label = fs::path(disc.folder).filename().string();
    disc.fingerprint = FolderFingerprint(disc.folder);
    disc.identity = FolderDigest(disc.folder);
    return disc;
}

}  // namespace dravolin::cli
