#pragma once
#include <QDBusConnection>
#include <optional>
#include "platform/Registry.h"

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

// The core suppresses AutoPlay by writing and deleting the machine's cancel value; on Linux
// that value has no reader, so writing it takes the session's inhibitor and deleting it
// releases it. Everything else goes to the wrapped registry unchanged. UI thread only.
class AutoPlayRegistry : public Registry {
  public:
    AutoPlayRegistry(Registry& inner, SessionInhibitor& inhibitor)
        : inner_(inner), inhibitor_(inhibitor) {}
    Value GetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                   std::uint32_t capacity) override;
    std::int32_t SetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                          std::uint32_t type, const std::string& data) override;
    std::int32_t DeleteValue(win::RootKey root, const std::string& subKey,
                             const std::string& name) override;

  private:
    Registry& inner_;
    SessionInhibitor& inhibitor_;
};

}  // namespace dravolin::qt
