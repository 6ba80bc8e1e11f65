#pragma once
// What archive mode shows on the desktop: a disc's progress window and the notifications. The
// windows live on the UI thread; these calls come from the copy-cycle workers.
#include <memory>
#include <string>
#include "platform/Types.h"
#include "platform/win32/archive/Win32BagWriter.h"

namespace dravolin::win32 {

// A disc's progress as its window shows it. Its Cancel makes OnProgress return false; the
// window goes when the object goes.
class ArchiveProgress : public BagProgress {
  public:
    ~ArchiveProgress() override = default;
};

class ArchiveDesk {
  public:
    virtual ~ArchiveDesk() = default;
    // A window owned by `owner` for the disc in drive `letter` labelled `label`. Never null:
    // where no window can be shown the copy goes on unseen.
    virtual std::unique_ptr<ArchiveProgress> OpenProgress(WindowHandle owner, char letter,
                                                          const std::wstring& label) = 0;
    // A notification; `needsPerson` asks for attention. Never waits for a person.
    virtual void Notify(bool needsPerson, const std::wstring& text) = 0;
};

}  // namespace dravolin::win32
