#pragma once
#include "platform/CodePage.h"
#include "platform/ComRuntime.h"
#include "platform/WaitCursor.h"

namespace dravolin::lnx {

// There is no component object library to initialise on Linux.
class NoComRuntime : public ComRuntime {
  public:
    void Initialize() override {}
    void Uninitialize() override {}
};

// Without a GUI there is no cursor; the Qt front end supplies its own.
class NoWaitCursor : public WaitCursor {
  public:
    void Begin() override {}
    void End() override {}
};

// Paths are UTF-8 bytes: no byte leads a double-byte character.
class Utf8CodePage : public CodePage {
  public:
    bool IsLeadByte(unsigned char) const override { return false; }
};

}  // namespace dravolin::lnx
