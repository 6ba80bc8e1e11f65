#include "platform/linux/order/ReadApart.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

using Clock = std::chrono::steady_clock;

// More than the layout of any real disc (a million paths of a few dozen bytes).
constexpr std::size_t kMaxReply = 256u << 20;
// What the child may add to the memory it was born with.
constexpr rlim_t kChildMemory = rlim_t{1} << 30;

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

void Append(std::string& out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

std::uint64_t Take(const std::string& in, std::size_t& at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
    }
    at += bytes;
    return value;
}

// Each file as its block (8 bytes), its path's length (4) and its path.
std::optional<FileStarts> Parse(const std::string& reply) {
    FileStarts starts;
    std::size_t at = 0;
    while (at < reply.size()) {
        if (reply.size() - at < 12) return std::nullopt;
        const std::uint64_t block = Take(reply, at, 8);
        const std::size_t length = Take(reply, at, 4);
        if (reply.size() - at < length) return std::nullopt;
        starts.emplace(reply.substr(at, length), block);
        at += length;
    }
    return starts;
}

void LimitChild(std::chrono::milliseconds deadline) {
    const auto seconds = static_cast<rlim_t>(deadline.count() / 1000 + 1);
    const rlimit cpu{seconds, seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    if (pages == 0) return;
    const rlim_t memory = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    const rlimit space{memory + kChildMemory, memory + kChildMemory};
    ::setrlimit(RLIMIT_AS, &space);
}

[[noreturn]] void RunChild(int out, const std::function<std::optional<FileStarts>()>& read,
                           std::chrono::milliseconds deadline) {
    LimitChild(deadline);
    const std::optional<FileStarts> starts = read();
    if (!starts) ::_exit(1);
    std::string reply;
    for (const auto& [path, block] : *starts) {
        Append(reply, block, 8);
        Append(reply, path.size(), 4);
        reply += path;
    }
    ::_exit(WriteAll(out, reply) ? 0 : 1);
}

// Reads until the child closes its end, it sends too much, or the time is up.
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

}  // namespace

std::optional<FileStarts> ReadApart(const std::function<std::optional<FileStarts>()>& read,
                                    std::chrono::milliseconds deadline) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    UniqueFd in(ends[0]);
    UniqueFd out(ends[1]);
    const Clock::time_point end = Clock::now() + deadline;
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        in.Reset();
        RunChild(out.Get(), read, deadline);
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
    return Parse(reply);
}

}  // namespace dravolin::lnx
