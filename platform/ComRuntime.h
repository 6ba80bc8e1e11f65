#pragma once

namespace dravolin {

// Per-thread initialisation of the component object library (CoInitialize / CoUninitialize).
class ComRuntime {
  public:
    virtual ~ComRuntime() = default;
    virtual void Initialize() = 0;
    virtual void Uninitialize() = 0;
};

}  // namespace dravolin
