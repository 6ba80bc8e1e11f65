#include "platform/linux/copy/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>
#include "platform/linux/io/FileLocks.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr std::string_view kPrefix = ".dravolin-";
constexpr std::string_view kSuffix = ".part";

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::uint64_t Fnv64(std::string_view text) {
    std::uint64_t hash = 14695981039346656037u;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    return hash;
}

// The machine's identity as systemd or D-Bus keep it, else its host name.
std::uint64_t MachineHash() {
    std::string id = ReadSmallFile("/etc/machine-id");
    if (id.empty()) id = ReadSmallFile("/var/lib/dbus/machine-id");
    if (id.empty()) {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) == 0) id = host;
    }
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    const std::uint64_t hash = Fnv64(id);
    return hash == 0 ? 1 : hash;
}

// The first 64 bits of the kernel's random id of this boot; 0 when unknown.
std::uint64_t BootId() {
    std::uint64_t value = 0;
    int digits = 0;
    for (const char c : ReadSmallFile("/proc/sys/kernel/random/boot_id")) {
        if (c == '-') continue;
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0 || digits == 16) break;
        value = value << 4 | static_cast<std::uint64_t>(digit);
        ++digits;
    }
    return digits == 16 ? value : 0;
}

std::uint64_t PidNamespace() {
    struct stat st {};
    return ::stat("/proc/self/ns/pid", &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0;
}

// When the process started, in clock ticks after boot (field 22 of its stat file, counted
// after the command name, which may hold blanks and parentheses); 0 when unknown.
std::uint64_t StartTimeOf(std::uint64_t pid) {
    const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int number = 3; number <= 22 && fields >> field; ++number) {
        if (number < 22) continue;
        std::uint64_t start = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), start);
        return error == std::errc() && end == field.data() + field.size() ? start : 0;
    }
    return 0;
}

bool ParseNumber(std::string_view text, int base, std::uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    if (base == 16 && text.size() != 16) return false;
    for (const char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!(digit || (base == 16 && c >= 'a' && c <= 'f'))) return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

TempOwner ThisProcess() {
    TempOwner self;
    self.machine = MachineHash();
    self.boot = BootId();
    self.pidNamespace = PidNamespace();
    self.pid = static_cast<std::uint64_t>(::getpid());
    self.startTime = StartTimeOf(self.pid);
    return self;
}

std::string TempName(const TempOwner& owner, std::uint64_t random) {
    char name[160];
    std::snprintf(
        name, sizeof name, ".dravolin-%016llx-%016llx-%llu-%llu-%llu-%016llx.part",
        static_cast<unsigned long long>(owner.machine), static_cast<unsigned long long>(owner.boot),
        static_cast<unsigned long long>(owner.pidNamespace),
        static_cast<unsigned long long>(owner.pid),
        static_cast<unsigned long long>(owner.startTime), static_cast<unsigned long long>(random));
    return name;
}

bool LooksLikeTempName(std::string_view name) {
    return name.size() >= kPrefix.size() + kSuffix.size() &&
           name.substr(0, kPrefix.size()) == kPrefix &&
           name.substr(name.size() - kSuffix.size()) == kSuffix;
}

std::optional<TempOwner> OwnerOfTemp(std::string_view name) {
    if (name.size() <= kPrefix.size() + kSuffix.size() ||
        name.substr(0, kPrefix.size()) != kPrefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix) {
        return std::nullopt;
    }
    std::string_view rest =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    std::vector<std::string_view> fields;
    while (fields.size() < 7) {
        const std::size_t dash = rest.find('-');
        fields.push_back(rest.substr(0, dash));
        if (dash == std::string_view::npos) break;
        rest.remove_prefix(dash + 1);
    }
    if (fields.size() != 6) return std::nullopt;
    TempOwner owner;
    std::uint64_t random = 0;
    if (!ParseNumber(fields[0], 16, owner.machine) || !ParseNumber(fields[1], 16, owner.boot) ||
        !ParseNumber(fields[2], 10, owner.pidNamespace) || !ParseNumber(fields[3], 10, owner.pid) ||
        !ParseNumber(fields[4], 10, owner.startTime) || !ParseNumber(fields[5], 16, random)) {
        return std::nullopt;
    }
    if (owner.pid == 0 ||
        owner.pid > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max())) {
        return std::nullopt;
    }
    return owner;
}

bool MayBeAlive(const TempOwner& owner, const TempOwner& self) {
    // Another machine sharing the folder: its processes cannot be seen from here.
    if (owner.machine != self.machine) return true;
    if (owner.boot == 0 || self.boot == 0) return true;
    // No process of an earlier boot runs any more.
    if (owner.boot != self.boot) return false;
    // Another container or sandbox: its pids mean other processes here.
    if (owner.pidNamespace == 0 || owner.pidNamespace != self.pidNamespace) return true;
    const auto pid = static_cast<pid_t>(owner.pid);
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    // The pid is taken; by the owner only if that process started when the owner did. Pids
    // are reused, start times within one boot are not.
    const std::uint64_t start = StartTimeOf(owner.pid);
    if (start == 0 || owner.startTime == 0) return true;
    return start == owner.startTime;
}

void RemoveStaleTemps(int folderFd, const TempOwner& self) {
    UniqueFd own(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!own) return;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(own.Get()));
    if (!dir) return;
    own.Release();
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, kPrefix.size()) != kPrefix) continue;
        const std::optional<TempOwner> owner = OwnerOfTemp(name);
        if (!owner || MayBeAlive(*owner, self)) continue;
        RemoveIfAbandoned(folderFd, entry->d_name);
    }
}

}  // namespace dravolin::lnx
