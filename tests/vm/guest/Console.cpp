#include "Console.h"

#include <unistd.h>
#include <cerrno>

namespace dravolin::vm {

void Console::Line(const std::string& text) {
    const std::string line = text + "\n";
    std::lock_guard lock(mutex_);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the console is gone; nobody is left to read it
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace dravolin::vm
