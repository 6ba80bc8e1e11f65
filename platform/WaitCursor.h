#pragma once

namespace dravolin {

// The application's wait cursor. Called from the UI thread and from workers.
class WaitCursor {
  public:
    virtual ~WaitCursor() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
};

}  // namespace dravolin
