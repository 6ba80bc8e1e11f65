#pragma once
#include <QDBusConnection>
#include <QString>
#include <optional>

namespace dravolin::qt {

// The desktop session's automount inhibitor (org.gnome.SessionManager, flag 16): while it is
// held, the desktop neither mounts nor opens the discs the program handles. The session
// manager drops it when the process ends. Without a session bus or session manager it does
// nothing. `reason` is what the session shows its user, who may be logging out. UI thread only.
class SessionInhibitor {
  public:
    SessionInhibitor(QDBusConnection bus, QString reason);
    ~SessionInhibitor();
    SessionInhibitor(const SessionInhibitor&) = delete;
    SessionInhibitor& operator=(const SessionInhibitor&) = delete;

    void Inhibit();
    void Uninhibit();
    bool Held() const { return cookie_.has_value(); }

  private:
    QDBusConnection bus_;
    QString reason_;
    std::optional<quint32> cookie_;
};

}  // namespace dravolin::qt
