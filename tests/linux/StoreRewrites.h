#pragma once
// Counts the times a file is replaced by a rename onto its name, as the store is written,
// through inotify: what the file system saw, whatever the writer's own account. Both ends
// of each rename are watched: the kernel merges identical events that follow one another.
#include <sys/inotify.h>
#include <unistd.h>
#include <cerrno>
#include <string>

namespace dravolin::lnx::test {

class StoreRewrites {
  public:
    // Watches `folder`, which must exist, for renames onto `name`.
    StoreRewrites(const std::string& folder, std::string name = "store")
        : name_(std::move(name)), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0)
            watching_ = ::inotify_add_watch(fd_, folder.c_str(), IN_MOVED_FROM | IN_MOVED_TO) >= 0;
    }
    ~StoreRewrites() {
        if (fd_ >= 0) ::close(fd_);
    }
    StoreRewrites(const StoreRewrites&) = delete;
    StoreRewrites& operator=(const StoreRewrites&) = delete;

    bool Watching() const { return watching_; }

    // The renames onto the name since the last call.
    int Take() {
        int count = 0;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return count;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & IN_MOVED_TO) && event->len > 0 && name_ == event->name) {
                    ++count;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

  private:
    std::string name_;
    int fd_;
    bool watching_ = false;
};

}  // namespace dravolin::lnx::test
