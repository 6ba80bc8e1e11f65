#include "MediaProber.h"

#include <spawn.h>
#include <sys/wait.h>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <climits>  // linux/cdrom.h uses INT_MAX without including it
#include <cstring>
#include <thread>
#include <vector>
#include <linux/cdrom.h>
#include "Console.h"
#include "platform/linux/drives/CdromIo.h"

extern char** environ;

namespace dravolin::vm {

namespace {
constexpr std::chrono::milliseconds kProbePause{20};
}

int RunMediaProber(const std::string& deviceNode) {
    Console console;
    lnx::CdromIo io;
    const std::size_t slash = deviceNode.rfind('/');
    const std::string name = slash == std::string::npos ? deviceNode : deviceNode.substr(slash + 1);
    console.Line("PROBER " + name + " started");
    for (;;) {
        if (lnx::UniqueFd fd = io.Open(deviceNode)) {
            if (io.Ioctl(fd.Get(), CDROM_MEDIA_CHANGED, CDSL_CURRENT) == 1) {
                console.Line("PROBER " + name + " took a media change");
            }
        }
        std::this_thread::sleep_for(kProbePause);
    }
}

MediaProberProcess::MediaProberProcess(const std::string& deviceNode, std::string& why) {
    std::string program = "dravolin-vm-guest";
    std::string option = kMediaProberOption;
    std::string node = deviceNode;
    std::vector<char*> argv{program.data(), option.data(), node.data(), nullptr};
    const int error =
        ::posix_spawn(&pid_, "/proc/self/exe", nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        pid_ = 0;
        why = std::strerror(error);
    }
}

MediaProberProcess::~MediaProberProcess() {
    if (!Started()) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace dravolin::vm
