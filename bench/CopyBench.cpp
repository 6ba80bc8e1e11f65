// Times the copy engine, `cp -r` and the archive copy (a bag: the engine hashing every file as
// it reads it, then the tag files) on the same tree, turning which goes first, each run into a
// fresh folder on the same file system and followed by a flush of that file system (syncfs) so
// that all pay for getting the data to the disk (the engine flushes before it renames; cp does
// not flush). Other programs' writes on that file system are flushed too: on a shared machine,
// a work folder on a file system of its own gives steadier figures. Prints each run, the
// engine's throughput over cp's and the archive copy's over the engine's.
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
#include <string>
#include <vector>
#include "platform/linux/archive/BagWriter.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/PolicyPrompts.h"
#include "platform/linux/copy/TreeCopier.h"

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
        std::fprintf(stderr, "usage: %s SOURCE-TREE WORK-FOLDER [ROUNDS [--no-flush|--memory]]\n",
                     argv[0]);
        return 2;
    }
    const std::string source = argv[1];
    const std::string work = argv[2];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 6;
    const std::string mode = argc > 4 ? argv[4] : "";
    noFlush = mode == "--no-flush" || mode == "--memory";
    noSync = mode == "--memory";
    const double megabytes = static_cast<double>(Warm(source)) / 1e6;
    workFs = ::open(work.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (workFs < 0) {
        std::fprintf(stderr, "cannot open %s\n", work.c_str());
        return 1;
    }

    const std::vector<std::string> outputs = {work + "/by-cp", work + "/by-engine",
                                              work + "/by-archive"};
    const char* names[] = {"cp -r  ", "engine ", "archive"};
    bool (*const copies[])(const std::string&, const std::string&) = {RunCp, RunEngine, RunArchive};
    std::vector<double> times[3];
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (round + turn) % 3;
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
    return 0;
}
