#include "platform/fake/CallLog.h"

#include <cstdio>

namespace dravolin::fake {

void CallLog::Add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
}

std::vector<std::string> CallLog::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> CallLog::Take() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> taken;
    taken.swap(lines_);
    return taken;
}

void CallLog::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

std::vector<std::string> CallLog::Matching(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const auto& line : lines_) {
        if (line.starts_with(prefix)) found.push_back(line);
    }
    return found;
}

int CallLog::IndexOf(const std::string& prefix, int from) const {
    std::lock_guard lock(mutex_);
    for (int i = from < 0 ? 0 : from; i < static_cast<int>(lines_.size()); ++i) {
        if (lines_[i].starts_with(prefix)) return i;
    }
    return -1;
}

std::string Hex(unsigned long long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", value);
    return buffer;
}

}  // namespace dravolin::fake
