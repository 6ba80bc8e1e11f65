#include "platform/qt/SessionInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace dravolin::qt {

namespace {
const QString kService = QStringLiteral("org.gnome.SessionManager");
const QString kPath = QStringLiteral("/org/gnome/SessionManager");
constexpr quint32 kInhibitAutomount = 16;
// How long an answer is waited for, off the UI thread.
constexpr int kCallTimeoutMs = 3000;
}  // namespace

SessionInhibitor::SessionInhibitor(QDBusConnection bus, QString reason)
    : bus_(std::move(bus)), reason_(std::move(reason)) {}

SessionInhibitor::~SessionInhibitor() {
    Uninhibit();
}

void SessionInhibitor::Inhibit() {
    wanted_ = true;
    if (cookie_ || asking_ || !bus_.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Inhibit");
    call << QStringLiteral("dravolin") << quint32(0) << reason_ << kInhibitAutomount;
    asking_ = true;
    // Owned by `answers_`, and deleted by it at the latest.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), &answers_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &answers_,
                     [this](QDBusPendingCallWatcher* answered) {
                         answered->deleteLater();
                         asking_ = false;
                         const QDBusPendingReply<quint32> reply = *answered;
                         if (reply.isError()) return;
                         if (wanted_) {
                             cookie_ = reply.value();
                         } else {
                             GiveBack(reply.value());
                         }
                     });
}

void SessionInhibitor::Uninhibit() {
    wanted_ = false;
    if (!cookie_) return;
    GiveBack(*cookie_);
    cookie_.reset();
}

void SessionInhibitor::GiveBack(quint32 cookie) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Uninhibit");
    call << cookie;
    // Sent without waiting: the session manager drops the inhibitor of a process that ends
    // anyway.
    if (bus_.isConnected()) bus_.send(call);
}

}  // namespace dravolin::qt
