#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include "platform/Types.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/qt/copy/CopyChannel.h"

namespace dravolin::qt {

class CopyBoard;

// The copy engine's prompts on the desktop: each copy's progress, replace and error questions
// go to the progress window and prompts of the dialog that owns the copy, through a channel
// shown by that dialog's board. Shared by the workers; thread-safe.
class CopyChannels : public lnx::CopyPromptsFactory {
  public:
    std::unique_ptr<lnx::CopyPrompts> Begin(WindowHandle owner, const lnx::CopySource& source,
                                            const std::string& target) override;

    // A channel shown by the owner's board, or a closed one (every question answered Cancel)
    // when the owner is gone.
    std::shared_ptr<CopyChannel> Open(WindowHandle owner, std::string drive, std::string target);

    // UI side: the board of a dialog, from its creation to its destruction.
    void Register(WindowHandle owner, CopyBoard* board);
    void Unregister(WindowHandle owner);

  private:
    std::mutex mutex_;
    std::map<WindowHandle, CopyBoard*> boards_;
};

}  // namespace dravolin::qt
