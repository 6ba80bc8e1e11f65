#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

namespace dravolin::qt {

// The desktop session's automount inhibitor (org.gnome.SessionManager, flag 16): while it is
// held, the desktop neither mounts nor opens the discs the program handles. The session
// manager drops it when the process ends. Without a session bus or session manager it does
// nothing. `reason` is what the session shows its user, who may be logging out.
// The calls never wait for the session manager: a session manager that is slow or hung must
// not hold up the dialog as it opens or closes. The inhibitor is held once its answer has
// come, and one that comes after Uninhibit is given back at once. UI thread only.
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
    void GiveBack(quint32 cookie);

    QDBusConnection bus_;
    QString reason_;
    std::optional<quint32> cookie_;
    bool asking_ = false;  // an Inhibit's answer is on its way
    bool wanted_ = false;  // Inhibit was called and Uninhibit not since
    QObject answers_;      // owns the watchers of answers on their way; they die with it
};

}  // namespace dravolin::qt
