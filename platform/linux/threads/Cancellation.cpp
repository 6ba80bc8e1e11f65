#include "platform/linux/threads/Cancellation.h"

namespace dravolin::lnx {

namespace {
// One per thread by nature: each worker sees only its own job's flag.
thread_local const std::atomic<bool>* currentFlag = nullptr;
}  // namespace

CancelScope::CancelScope(const std::atomic<bool>* flag) : previous_(currentFlag) {
    currentFlag = flag;
}

CancelScope::~CancelScope() {
    currentFlag = previous_;
}

bool CancelRequested() {
    return currentFlag != nullptr && currentFlag->load(std::memory_order_relaxed);
}

bool OnWorker() {
    return currentFlag != nullptr;
}

}  // namespace dravolin::lnx
