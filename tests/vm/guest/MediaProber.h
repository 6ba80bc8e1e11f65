#pragma once
#include <sys/types.h>
#include <string>

namespace dravolin::vm {

// Another process that asks a drive CDROM_MEDIA_CHANGED every few milliseconds, as a desktop's
// disc prober or file manager does. The kernel keeps that answer in one flag for every process
// and clears it for all at the first question, so such a prober takes most media changes before
// the program asks.

// The prober's own process: opens the drive, asks and closes it again (a descriptor kept open
// would make the kernel refuse every eject), and prints "PROBER srN took a media change" for
// each change it took. Runs until it is killed.
int RunMediaProber(const std::string& deviceNode);

// This program started again as the prober of a drive; ended (SIGTERM, then waited for) when
// destroyed.
class MediaProberProcess {
  public:
    // Started() is false, with the reason in `why`, when the process could not be started.
    MediaProberProcess(const std::string& deviceNode, std::string& why);
    ~MediaProberProcess();
    MediaProberProcess(const MediaProberProcess&) = delete;
    MediaProberProcess& operator=(const MediaProberProcess&) = delete;

    bool Started() const { return pid_ > 0; }

  private:
    pid_t pid_ = 0;
};

// The command line that makes this program a prober: "--media-prober NODE".
inline constexpr const char* kMediaProberOption = "--media-prober";

}  // namespace dravolin::vm
