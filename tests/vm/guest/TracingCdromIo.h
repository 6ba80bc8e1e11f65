#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include "Console.h"
#include "platform/linux/drives/CdromIo.h"

namespace dravolin::vm {

// The drives' system calls as the Linux services make them, with every tray command and
// every failed command printed: "IOCTL sr1 eject ok", "IOCTL sr0 close failed: <reason>".
// Used from the UI thread and from workers at once.
class TracingCdromIo : public lnx::CdromIo {
  public:
    explicit TracingCdromIo(std::shared_ptr<Console> console) : console_(std::move(console)) {}

    lnx::UniqueFd Open(const std::string& deviceNode) override;
    int Ioctl(int fd, unsigned long request, std::uintptr_t argument) override;

  private:
    std::string NodeOf(int fd);

    std::shared_ptr<Console> console_;
    std::mutex mutex_;
    std::map<int, std::string> nodes_;  // by descriptor; a closed one is overwritten on reuse
};

}  // namespace dravolin::vm
