#pragma once
#include <chrono>
#include <string>
#include "platform/Threads.h"

namespace dravolin::lnx {

// The desktop's notifications (org.freedesktop.Notifications on the session bus) for archive
// mode: what the Archiver's Notify sends.
//
// Send hands every notification to a worker and returns at once. The caller may be the UI
// thread, which must never stand still for D-Bus, or a copy-cycle worker, whose disc must not
// wait for a notification daemon that is slow, stalled or absent. The worker gives up after
// kReplyTimeout, shorter than the grace the end of the program gives its workers, so a
// notification sent as the program ends never keeps it alive past that deadline. Where no worker
// can be had, or no bus or no service answers, the notification is dropped: nothing else
// depends on it.
//
// Safe to call from any thread: the object holds nothing that changes after construction, and
// each worker has its own copy of what it sends and a private connection of its own.
class DesktopNotifications {
  public:
    // How long a worker waits for the service, over all its calls.
    static constexpr std::chrono::milliseconds kReplyTimeout{2000};

    // `threads` must outlive the object. `busAddress` empty means the session bus that
    // DBUS_SESSION_BUS_ADDRESS names (read now); where it is unset there is no bus, and no
    // bus daemon is ever started for a notification.
    explicit DesktopNotifications(Threads& threads, std::string busAddress = {});

    // One notification: critical when `needsPerson` (damage, an unreadable disc, a full
    // target), normal otherwise. `text` is UTF-8 that may carry bytes as read from a disc:
    // what is not UTF-8 arrives as U+FFFD.
    void Send(bool needsPerson, const std::string& text);

  private:
    Threads& threads_;
    std::string address_;
};

}  // namespace dravolin::lnx
