#include "platform/linux/order/ReadApart.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <vector>
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/order/LayoutReply.h"

extern char** environ;

namespace dravolin::lnx {

namespace {

using Clock = std::chrono::steady_clock;

// More than the layout of any real disc (a million paths of a few dozen bytes).
constexpr std::size_t kMaxReply = 256u << 20;

// posix_spawn's settings, released on every way out.
class SpawnSettings {
  public:
    SpawnSettings() {
        ready_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        if (ready_ && ::posix_spawnattr_init(&attributes_) != 0) {
            ::posix_spawn_file_actions_destroy(&actions_);
            ready_ = false;
        }
    }
    ~SpawnSettings() {
        if (!ready_) return;
        ::posix_spawnattr_destroy(&attributes_);
        ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // The helper's output goes into `out`; it reads nothing and holds no other descriptor of
    // this program's. Signals this program blocks or ignores (a worker thread's mask, a
    // SIGPIPE ignored) are the helper's defaults again: the CPU limit's SIGXCPU must end it.
    bool Arrange(int out) {
        if (!ready_) return false;
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGXCPU);
        sigaddset(&defaults, SIGXFSZ);
        return ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               ::posix_spawn_file_actions_adddup2(&actions_, out, 1) == 0 &&
               ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
               ::posix_spawnattr_setflags(&attributes_,
                                          POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }
    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

  private:
    bool ready_ = false;
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
};

// Reads until the helper closes its end, it sends too much, or the time is up.
bool ReadReply(int in, Clock::time_point end, std::string& reply) {
    char buffer[1 << 16];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{in, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return false;
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (reply.size() + static_cast<std::size_t>(n) > kMaxReply) return false;
        reply.append(buffer, static_cast<std::size_t>(n));
    }
}

// The helper's reply to `args` (after its own name), where it ended well within `deadline`.
std::optional<std::string> RunHelper(const std::string& helper, std::vector<std::string> args,
                                     std::chrono::milliseconds deadline) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    UniqueFd in(ends[0]);
    UniqueFd out(ends[1]);
    SpawnSettings settings;
    if (!settings.Arrange(out.Get())) return std::nullopt;

    // The helper bounds its own processor time by this, the wall clock is watched here.
    args.push_back(std::to_string(deadline.count() / 1000 + 1));
    args.insert(args.begin(), helper);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const Clock::time_point end = Clock::now() + deadline;
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, helper.c_str(), settings.Actions(),
                                      settings.Attributes(), argv.data(), environ);
    if (spawned != 0) {
        std::fprintf(stderr, "dravolin: %s could not be started: %s\n", helper.c_str(),
                     ErrorText(spawned).c_str());
        return std::nullopt;
    }
    out.Reset();
    std::string reply;
    const bool complete = ReadReply(in.Get(), end, reply);
    if (!complete) ::kill(child, SIGKILL);
    int status = -1;
    pid_t waited = -1;
    do {
        waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (!complete || waited != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return reply;
}

}  // namespace

std::optional<FileStarts> ReadApart(const std::string& helper, const std::string& fsType,
                                    const std::string& device, std::uint64_t maxEntries,
                                    std::chrono::milliseconds deadline) {
    const std::optional<std::string> reply =
        RunHelper(helper, {fsType, device, std::to_string(maxEntries)}, deadline);
    return reply ? DecodeLayout(*reply) : std::nullopt;
}

std::optional<DiscTree> ReadTreeApart(const std::string& helper, const std::string& fsType,
                                      const std::string& device, std::uint64_t maxEntries,
                                      std::chrono::milliseconds deadline, std::uint64_t session) {
    std::vector<std::string> args = {"--tree", fsType, device, std::to_string(maxEntries)};
    if (session != 0) args.insert(args.begin() + 1, {"--session", std::to_string(session)});
    const std::optional<std::string> reply = RunHelper(helper, std::move(args), deadline);
    return reply ? DecodeTree(*reply) : std::nullopt;
}

}  // namespace dravolin::lnx
