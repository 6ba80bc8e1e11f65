#pragma once
#include "platform/ComRuntime.h"
#include "platform/fake/CallLog.h"

namespace dravolin::fake {

// Log: "CoInitialize", "CoUninitialize".
class FakeCom : public ComRuntime {
  public:
    explicit FakeCom(CallLog* log) : log_(log) {}
    void Initialize() override { log_->Add("CoInitialize"); }
    void Uninitialize() override { log_->Add("CoUninitialize"); }

  private:
    CallLog* log_;
};

}  // namespace dravolin::fake
