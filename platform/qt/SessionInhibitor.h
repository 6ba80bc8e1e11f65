#pragma once
#include <QDBusConnection>
#include <optional>

namespace dravolin::qt {

// The desktop session's automount inhibitor (org.gnome.SessionManager, flag 16): while it is
// held, the desktop neither mounts nor opens the discs the program handles. The session
// manager drops it when the process ends. Without a session bus or session manager it does
// nothing. UI thread only.
class SessionInhibitor {
  public:
    explicit SessionInhibitor(QDBusConnection bus);
    ~SessionInhibitor();
    SessionInhibitor(const SessionInhibitor&) = delete;
    SessionInhibitor& operator=(const SessionInhibitor&) = delete;

    void Inhibit();
    void Uninhibit();
    bool Held() const { return cookie_.has_value(); }

  private:
    QDBusConnection bus_;
    std::optional<quint32> cookie_;
};

}  // namespace dravolin::qt
