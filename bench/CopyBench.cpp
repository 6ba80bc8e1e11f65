// Times the copy engine, `cp -r` and the archive copy (a bag: the engine hashing every file as
// it reads it, then the tag files) on the same tree, turning which goes first, each run into a
// fresh folder on the same file system and followed by a flush of that file system (syncfs) so
// that all pay for getting the data to the disk (the engine flushes before it renames; cp does
// not flush). Other programs' writes on that file system are flushed too: on a shared machine,
// a work folder on a file system of its own gives steadier figures. Prints each run, the
// engine's throughput over cp's and the archive copy's over the engine's. Given an image of
// the tree (--image=DISC.iso), the engine also copies the tree in the order the image lays its
// files out, as it would the mounted disc: what that order costs where seeks cost nothing.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>
#include "platform/linux/archive/BagWriter.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/PolicyPrompts.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/order/ReadApart.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

bool RunCp(const std::string& from, const std::string& to) {
    const char* args[] = {"cp", "-r", from.c_str(), to.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(args), environ) != 0) {
        return false;
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The engine without its own flushes, to see what they cost (--no-flush); not a fair contender.
class NoFlushIo : public dravolin::lnx::CopyIo {
  public:
    int DataSync(int) override { return 0; }
    int SyncFileSystem(int) override { return 0; }
    int StartWriteback(int, off_t, off_t) override { return 0; }
};
bool noFlush = false;
bool noSync = false;  // --memory: neither flushes nor sync, the page cache alone

bool RunEngine(const std::string& from, const std::string& to) {
    dravolin::lnx::CopyIo real;
    NoFlushIo skipping;
    dravolin::lnx::CopyIo& io = noFlush ? skipping : real;
    dravolin::lnx::PolicyPrompts prompts(dravolin::lnx::ReplaceDecision::Replace,
                                         dravolin::lnx::ErrorDecision::Cancel);
    dravolin::lnx::TreeCopier copier(io, prompts);
    return copier.Copy(from, to).outcome == dravolin::lnx::CopyOutcome::Completed;
}

// The engine in the order of the files on the image of the tree; the layout is read by the
// layout helper (libisofs) for every run, as it is for every disc.
std::string image;
std::vector<double> layoutTimes;  // of each ordered run: the reading of the layout alone
bool RunOrdered(const std::string& from, const std::string& to) {
    dravolin::lnx::CopyIo real;
    NoFlushIo skipping;
    dravolin::lnx::CopyIo& io = noFlush ? skipping : real;
    dravolin::lnx::PolicyPrompts prompts(dravolin::lnx::ReplaceDecision::Replace,
                                         dravolin::lnx::ErrorDecision::Cancel);
    dravolin::lnx::TreeCopier copier(io, prompts);
    bool placed = false;
    copier.ReadStartsWith([&](const std::string&, std::uint64_t maxEntries) {
        const auto start = Clock::now();
        const std::optional<std::string> helper = dravolin::lnx::FindLayoutHelper();
        std::optional<dravolin::lnx::FileStarts> starts;
        if (helper) {
            starts = dravolin::lnx::ReadApart(*helper, "iso9660", image, maxEntries,
                                              std::chrono::seconds(60));
        }
        placed = starts && !starts->empty();
        layoutTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        return starts;
    });
    const bool done = copier.Copy(from, to).outcome == dravolin::lnx::CopyOutcome::Completed;
    if (!placed) std::fprintf(stderr, "%s gave no layout\n", image.c_str());
    return done && placed;
}

bool RunArchive(const std::string& from, const std::string& to) {
    dravolin::lnx::CopyIo real;
    NoFlushIo skipping;
    dravolin::lnx::CopyIo& io = noFlush ? skipping : real;
    dravolin::lnx::PolicyPrompts prompts(dravolin::lnx::ReplaceDecision::Skip,
                                         dravolin::lnx::ErrorDecision::Cancel);
    dravolin::lnx::BagWriter writer(io, prompts);
    const dravolin::lnx::BagOutcome outcome = writer.Build({from, to, "BENCH", {}});
    return outcome.result == dravolin::lnx::BagResult::Complete &&
           writer.Publish("bag") == dravolin::lnx::BagWriter::Published::Done;
}

// Reads every file once, so every contender starts with the source in the page cache.
std::uint64_t Warm(const std::string& root) {
    std::uint64_t bytes = 0;
    std::vector<char> buffer(1 << 20);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount()) {
            bytes += static_cast<std::uint64_t>(in.gcount());
        }
    }
    return bytes;
}

// Every run starts alike: no earlier copy left (deleting one costs the disk work of its own,
// which would otherwise fall on whichever run comes next), nothing dirty, the source cached.
// The file system of the work folder: its data, and no other's, are flushed.
int workFs = -1;

template <typename Copy>
double Timed(Copy copy, const std::string& from, const std::string& to,
             const std::vector<std::string>& outputs) {
    for (const std::string& output : outputs) fs::remove_all(output);
    ::syncfs(workFs);
    Warm(from);
    const auto start = Clock::now();
    if (!copy(from, to)) {
        std::fprintf(stderr, "copy into %s failed\n", to.c_str());
        std::exit(1);
    }
    if (!noSync) ::syncfs(workFs);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s SOURCE-TREE WORK-FOLDER [ROUNDS [--no-flush|--memory]] "
                     "[--image=IMAGE-OF-TREE]\n",
                     argv[0]);
        return 2;
    }
    const std::string source = argv[1];
    const std::string work = argv[2];
    int rounds = 6;
    std::string mode;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--image=", 0) == 0) {
            image = arg.substr(8);
        } else if (arg.rfind("--", 0) == 0) {
            mode = arg;
        } else {
            rounds = std::max(1, std::atoi(arg.c_str()));
        }
    }
    noFlush = mode == "--no-flush" || mode == "--memory";
    noSync = mode == "--memory";
    const double megabytes = static_cast<double>(Warm(source)) / 1e6;
    workFs = ::open(work.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (workFs < 0) {
        std::fprintf(stderr, "cannot open %s\n", work.c_str());
        return 1;
    }

    std::vector<std::string> outputs = {work + "/by-cp", work + "/by-engine", work + "/by-archive"};
    std::vector<const char*> names = {"cp -r  ", "engine ", "archive"};
    std::vector<bool (*)(const std::string&, const std::string&)> copies = {RunCp, RunEngine,
                                                                            RunArchive};
    if (!image.empty()) {
        outputs.push_back(work + "/by-ordered");
        names.push_back("ordered");
        copies.push_back(RunOrdered);
    }
    const int contenders = static_cast<int>(copies.size());
    std::vector<std::vector<double>> times(copies.size());
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < contenders; ++turn) {
            const int which = (round + turn) % contenders;
            times[which].push_back(Timed(copies[which], source, outputs[which], outputs));
            std::printf("round %d  %s %7.3f s  %8.1f MB/s\n", round + 1, names[which],
                        times[which].back(), megabytes / times[which].back());
            std::fflush(stdout);
        }
    }
    for (const std::string& output : outputs) fs::remove_all(output);
    std::printf("tree %.1f MB; median cp -r %.3f s, engine %.3f s, archive %.3f s\n", megabytes,
                Median(times[0]), Median(times[1]), Median(times[2]));
    // The disk of a shared machine drifts; the runs of a round see the same conditions, so
    // the median of the rounds' ratios is the steadier figure.
    // Throughput of `measured` over that of `base`: base's time over measured's.
    const auto report = [&](const char* what, const std::vector<double>& base,
                            const std::vector<double>& measured) {
        std::vector<double> ratios;
        double logSum = 0;
        for (std::size_t i = 0; i < base.size(); ++i) {
            ratios.push_back(base[i] / measured[i]);
            logSum += std::log(ratios.back());
        }
        std::printf(
            "throughput ratio %s: %.3f (median of rounds), %.3f (geometric mean of rounds), "
            "%.3f (of medians)\n",
            what, Median(ratios), std::exp(logSum / static_cast<double>(ratios.size())),
            Median(base) / Median(measured));
    };
    report("engine/cp", times[0], times[1]);
    report("archive/engine", times[1], times[2]);
    report("archive/cp", times[0], times[2]);
    if (!image.empty()) {
        report("disc order/name order", times[1], times[3]);
        // What the walk in disc order costs beyond reading the layout, which a disc pays for
        // in reading its directories a second time (mostly from the cache).
        std::vector<double> walks;
        for (std::size_t i = 0; i < times[3].size(); ++i)
            walks.push_back(times[3][i] - layoutTimes[i]);
        std::printf("layout read (libisofs, in a child process): median %.3f s\n",
                    Median(layoutTimes));
        report("disc-order walk without the layout read/name order", times[1], walks);
    }
    return 0;
}
