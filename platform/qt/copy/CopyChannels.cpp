#include "platform/qt/copy/CopyChannels.h"

#include "platform/qt/copy/CopyBoard.h"

namespace dravolin::qt {

namespace {

// The engine owns its prompts alone; the channel is shared with the board that shows it.
class ChannelPrompts : public lnx::CopyPrompts {
  public:
    explicit ChannelPrompts(std::shared_ptr<CopyChannel> channel) : channel_(std::move(channel)) {}
    void OnMounted(const std::string& folder) override { channel_->OnMounted(folder); }
    bool OnProgress(const lnx::CopyProgress& progress) override {
        return channel_->OnProgress(progress);
    }
    lnx::ReplaceDecision AskReplace(const lnx::ReplaceQuestion& question) override {
        return channel_->AskReplace(question);
    }
    lnx::ErrorDecision AskError(const lnx::CopyFailure& failure) override {
        return channel_->AskError(failure);
    }
    void OnFinished(lnx::CopyOutcome outcome, const std::string& summary) override {
        channel_->OnFinished(outcome, summary);
    }

  private:
    std::shared_ptr<CopyChannel> channel_;
};

}  // namespace

std::unique_ptr<lnx::CopyPrompts> CopyChannels::Begin(WindowHandle owner,
                                                      const lnx::CopySource& source,
                                                      const std::string& target) {
    return std::make_unique<ChannelPrompts>(Open(owner, source.drive, target));
}

std::shared_ptr<CopyChannel> CopyChannels::Open(WindowHandle owner, std::string drive,
                                                std::string target) {
    auto channel = std::make_shared<CopyChannel>(std::move(drive), std::move(target));
    std::lock_guard lock(mutex_);
    auto it = boards_.find(owner);
    if (it == boards_.end()) {
        channel->Close();
    } else {
        it->second->Adopt(channel);
    }
    return channel;
}

void CopyChannels::Register(WindowHandle owner, CopyBoard* board) {
    std::lock_guard lock(mutex_);
    boards_[owner] = board;
}

void CopyChannels::Unregister(WindowHandle owner) {
    std::lock_guard lock(mutex_);
    boards_.erase(owner);
}

}  // namespace dravolin::qt
