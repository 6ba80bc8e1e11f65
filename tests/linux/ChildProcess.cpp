#include "ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace dravolin::lnx::test {

namespace {

constexpr uid_t kNobody = 65534;

bool WriteWhole(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

std::string Why(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

}  // namespace

ChildResult RunInChild(const std::function<int(std::string& message)>& body) {
    ChildResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return result;
    }
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string message;
        const int status = body(message);
        const ssize_t written = ::write(pipeFds[1], message.data(), message.size());
        ::_exit(written == static_cast<ssize_t>(message.size()) ? status : 125);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        result.message.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

bool BecomeUnprivileged(std::string& reason) {
    if (::geteuid() != 0) return true;
    if (::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, kNobody) == 0 &&
        ::setresuid(kNobody, kNobody, kNobody) == 0) {
        return true;
    }
    reason = Why("dropping to nobody");
    // Without a map, every file of the machine belongs to someone unknown in the namespace:
    // the child's capabilities there give it no rights over them.
    if (::unshare(CLONE_NEWUSER) == 0) return true;
    reason += "; " + Why("user namespace");
    return false;
}

bool OwnMountNamespace(std::string& reason) {
    if (::unshare(CLONE_NEWNS) != 0) {
        reason = Why("mount namespace");
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            reason += "; " + Why("user and mount namespaces");
            return false;
        }
        if (!WriteWhole("/proc/self/setgroups", "deny") ||
            !WriteWhole("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteWhole("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            reason += "; " + Why("user namespace maps");
            return false;
        }
    }
    // Mounts made here must not reach the test process's namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        reason = Why("private mounts");
        return false;
    }
    return true;
}

}  // namespace dravolin::lnx::test
