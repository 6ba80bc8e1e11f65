#pragma once
#include <mutex>
#include <string>

namespace dravolin::vm {

// The serial console the host reads: whole lines, never interleaved, from the UI thread and
// from workers alike.
class Console {
  public:
    void Line(const std::string& text);

  private:
    std::mutex mutex_;
};

}  // namespace dravolin::vm
