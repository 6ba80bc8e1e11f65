#include "LinuxTestSupport.h"

#include <spawn.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace dravolin::lnx::test {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& parent) {
    const fs::path under = parent.empty() ? fs::temp_directory_path() : fs::path(parent);
    std::string pattern = (under / "dravolin-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code error;
    // Folders a test made unwritable must become writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(path_, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
    }
    fs::remove_all(path_, error);
}

void WriteFile(const std::string& path, const std::string& bytes, unsigned mode) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ::chmod(path.c_str(), mode);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void MakeFolder(const std::string& path) {
    fs::create_directories(path);
}

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    const std::size_t prefix = root.size() + (root.empty() || root.back() != '/' ? 1 : 0);
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        // The iterator's paths are the root's followed by the relative path.
        const std::string relative = it->path().string().substr(prefix);
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            entries[relative] = "L";
        } else if (fs::is_directory(status)) {
            entries[relative] = "D";
        } else if (fs::is_regular_file(status)) {
            entries[relative] = "F:" + ReadFile(it->path().string());
        } else {
            entries[relative] = "S";
        }
    }
    return entries;
}

std::string MemoryFolder() {
    struct statfs fsInfo {};
    // A container's /dev/shm may be 64 MiB; a tree at scale and its copy take a page a file.
    constexpr unsigned long long kRoomBytes = 512ull << 20;
    constexpr unsigned long long kRoomFiles = 100'000;
    if (::statfs("/dev/shm", &fsInfo) == 0 && fsInfo.f_type == TMPFS_MAGIC &&
        ::access("/dev/shm", W_OK) == 0 &&
        static_cast<unsigned long long>(fsInfo.f_bavail) * fsInfo.f_bsize >= kRoomBytes &&
        static_cast<unsigned long long>(fsInfo.f_ffree) >= kRoomFiles) {
        return "/dev/shm";
    }
    return fs::temp_directory_path().string();
}

std::vector<std::string> TempLeftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        if (name.rfind(".dravolin-", 0) == 0) found.push_back(it->path().string());
    }
    return found;
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    if (output) *output = text;
    if (spawned != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<StoreRecord> SampleStoreRecords() {
    return {
        {0x80000001u, "Software\\Dravolin", "Destination00", 1, "/home/u/discs\\"},
        {0x80000001u, "Software\\Dravolin", "Destination01", 1, std::string("a\0b\xff", 4)},
        {0x80000001u, "Software\\Other", "Empty", 3, ""},
        {0x80000002u, "", "", 4, std::string(300, 'x')},
    };
}

int RunChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) ::_exit(body());  // no destructor, no test framework of the parent's
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dravolin::lnx::test

namespace dravolin::lnx {

void PrintTo(const StoreRecord& record, std::ostream* out) {
    *out << "{" << record.root << ", \"" << record.key << "\", \"" << record.name << "\", "
         << record.type << ", " << record.data.size() << " bytes}";
}

}  // namespace dravolin::lnx
