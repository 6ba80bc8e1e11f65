// dravolin-disc-layout [--tree [--session BLOCK]] FSTYPE DEVICE MAX-ENTRIES SECONDS
// Where each file of the disc in DEVICE (an "iso9660" or "udf" file system) begins, read with
// the library of its file system and written to the output in the form LayoutReply.h names;
// with --tree, every entry of the disc with where all of its bytes lie, which is how the
// program takes the files out of an image the kernel cannot mount, or of an ISO 9660 image's
// last session, which begins at BLOCK.
// Started by the program for each disc it copies in disc order (ReadApart.h says why apart);
// a person has no use for it. Exit status 0 with the layout, 1 when the disc could not be
// read, 2 for arguments it does not take.
#include <sys/resource.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include "platform/linux/order/LayoutReply.h"
#include "platform/linux/order/layout/LibraryFileStarts.h"

namespace {

// What the library may add to the memory the helper starts with: far more than the directories
// of any disc take, far less than a disc that lies could make it ask for.
constexpr rlim_t kLibraryMemory = rlim_t{1} << 30;

bool Number(const char* text, unsigned long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

// Set before the library is opened: whatever it does after, it does within these.
void LimitSelf(rlim_t seconds) {
    const rlimit cpu{seconds, seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    unsigned long long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    if (pages == 0) return;
    const rlim_t memory = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    const rlimit space{memory + kLibraryMemory, memory + kLibraryMemory};
    ::setrlimit(RLIMIT_AS, &space);
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

namespace dravolin::lnx {

FileStarts StartsOf(const DiscTree& tree) {
    FileStarts starts;
    for (const TreeEntry& entry : tree) {
        if (entry.kind != TreeEntry::Kind::File) continue;
        // Data kept in a file's own entry were read with its folder: they come first.
        starts.emplace(entry.path,
                       entry.extents.empty() ? 0 : entry.extents.front().discOffset / kLayoutBlock);
    }
    return starts;
}

}  // namespace dravolin::lnx

int main(int argc, char** argv) {
    const char* program = argv[0];
    const bool whole = argc > 1 && std::string(argv[1]) == "--tree";
    if (whole) {
        --argc;
        ++argv;
    }
    std::optional<std::uint32_t> session;
    if (whole && argc > 2 && std::string(argv[1]) == "--session") {
        unsigned long long block = 0;
        if (Number(argv[2], block) && block <= UINT32_MAX) {
            session = static_cast<std::uint32_t>(block);
        }
        argc = session ? argc - 2 : 0;  // a block it cannot take: the usage
        argv += 2;
    }
    unsigned long long maxEntries = 0;
    unsigned long long seconds = 0;
    if (argc != 5 || !Number(argv[3], maxEntries) || !Number(argv[4], seconds) || seconds == 0) {
        std::fprintf(stderr,
                     "usage: %s [--tree [--session BLOCK]] iso9660|udf DEVICE MAX-ENTRIES "
                     "SECONDS\n",
                     program);
        return 2;
    }
    const std::string fsType = argv[1];
    const std::string device = argv[2];
    if (fsType != "iso9660" && fsType != "udf") {
        std::fprintf(stderr, "%s: no layout is read for a %s file system\n", program, argv[1]);
        return 2;
    }
    LimitSelf(static_cast<rlim_t>(seconds));
    const std::optional<dravolin::lnx::DiscTree> tree =
        fsType == "udf" ? dravolin::lnx::UdfTree(device, maxEntries)
                        : dravolin::lnx::IsoTree(device, maxEntries, session);
    const bool written =
        tree && WriteAll(STDOUT_FILENO,
                         whole ? dravolin::lnx::EncodeTree(*tree)
                               : dravolin::lnx::EncodeLayout(dravolin::lnx::StartsOf(*tree)));
    // Out at once: libisofs's process-wide state is never torn down, and a leak check at exit
    // (the sanitizer builds) would count it and turn a good reply into a failure.
    ::_exit(written ? 0 : 1);
}
