#pragma once
#include <mutex>
#include <string>
#include <vector>

namespace dravolin::fake {

// The ordered record of every platform call the fakes received, shared by all of them so that
// tests can check the order of calls across services. Thread-safe.
class CallLog {
  public:
    void Add(std::string line);
    std::vector<std::string> Lines() const;
    // Returns the lines and forgets them.
    std::vector<std::string> Take();
    void Clear();
    // Lines that start with `prefix`, in order.
    std::vector<std::string> Matching(const std::string& prefix) const;
    // Index of the first line starting with `prefix` at or after `from`, or -1.
    int IndexOf(const std::string& prefix, int from = 0) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// "0x" and lower-case hex digits, no padding.
std::string Hex(unsigned long long value);

}  // namespace dravolin::fake
