#pragma once
// Counts what happens to the store's file through inotify: what the file system saw, whatever
// the program's own account.
#include <sys/inotify.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <string>

namespace dravolin::lnx::test {

// Events of one kind on one name in a folder.
class NameEvents {
  public:
    // Watches `folder`, which must exist, for `watched` events; counts those of `counted` on
    // `name`.
    NameEvents(const std::string& folder, std::string name, std::uint32_t watched,
               std::uint32_t counted)
        : name_(std::move(name)),
          counted_(counted),
          fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) watching_ = ::inotify_add_watch(fd_, folder.c_str(), watched) >= 0;
    }
    ~NameEvents() {
        if (fd_ >= 0) ::close(fd_);
    }
    NameEvents(const NameEvents&) = delete;
    NameEvents& operator=(const NameEvents&) = delete;

    bool Watching() const { return watching_; }

    // The counted events since the last call.
    int Take() {
        int count = 0;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return count;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & counted_) && event->len > 0 && name_ == event->name) ++count;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

  private:
    std::string name_;
    std::uint32_t counted_;
    int fd_;
    bool watching_ = false;
};

// The times a file is replaced by a rename onto its name, as the store is written. Both ends of
// each rename are watched: the kernel merges identical events that follow one another.
class StoreRewrites : public NameEvents {
  public:
    StoreRewrites(const std::string& folder, std::string name = "store")
        : NameEvents(folder, std::move(name), IN_MOVED_FROM | IN_MOVED_TO, IN_MOVED_TO) {}
};

// The times a file is opened, as the store is read.
class StoreOpens : public NameEvents {
  public:
    StoreOpens(const std::string& folder, std::string name = "store")
        : NameEvents(folder, std::move(name), IN_OPEN | IN_CLOSE, IN_OPEN) {}
};

}  // namespace dravolin::lnx::test
