#pragma once
#include "platform/WaitCursor.h"
#include "platform/fake/CallLog.h"

namespace dravolin::fake {

// Log: "BeginWaitCursor", "EndWaitCursor".
class FakeWaitCursor : public WaitCursor {
  public:
    explicit FakeWaitCursor(CallLog* log) : log_(log) {}
    void Begin() override { log_->Add("BeginWaitCursor"); }
    void End() override { log_->Add("EndWaitCursor"); }

  private:
    CallLog* log_;
};

}  // namespace dravolin::fake
