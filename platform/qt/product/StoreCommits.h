#pragma once
#include <QObject>
#include "platform/linux/store/LinuxRegistry.h"
#include "platform/qt/QtDialogHost.h"
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// Writes the per-user store once per event: whatever the handlers of one event set (a save of
// the history is up to twenty values) is committed in one atomic write when control is back
// in Qt's event loop. The registry's writer thread does the write; the UI thread never waits
// for it but at the teardown. The first write that fails in a run is shown in a message box on
// the dialog, naming the file and the reason; later ones are not. So is the first damaged
// store that was rewritten, naming the backup that keeps it. UI thread only: failures come
// back from the writer as posted events.
class StoreCommits : public QObject, private lnx::StoreListener {
  public:
    StoreCommits(lnx::LinuxRegistry& registry, const QtDialogHost& host, Language language);
    ~StoreCommits() override;
    StoreCommits(const StoreCommits&) = delete;
    StoreCommits& operator=(const StoreCommits&) = delete;

    // Commits what waits now and waits until it is written: at teardown, when no event loop
    // runs any more.
    void CommitNow();

  private:
    void OnWritePending() override;
    void OnWriteFailed(const std::string& path, int error) override;
    void OnDamagedKept(const std::string& path, const std::string& backup) override;
    void Show(const QString& text);

    lnx::LinuxRegistry& registry_;
    const QtDialogHost& host_;
    Language language_;
    bool scheduled_ = false;
    bool told_ = false;
    bool toldDamage_ = false;
};

}  // namespace dravolin::qt
