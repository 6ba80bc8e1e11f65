#include "platform/qt/SessionInhibitor.h"

#include <QDBusMessage>

namespace dravolin::qt {

namespace {
const QString kService = QStringLiteral("org.gnome.SessionManager");
const QString kPath = QStringLiteral("/org/gnome/SessionManager");
constexpr quint32 kInhibitAutomount = 16;
// A session manager that does not answer must not hold up the dialog for long.
constexpr int kCallTimeoutMs = 3000;
}  // namespace

SessionInhibitor::SessionInhibitor(QDBusConnection bus, QString reason)
    : bus_(std::move(bus)), reason_(std::move(reason)) {}

SessionInhibitor::~SessionInhibitor() {
    Uninhibit();
}

void SessionInhibitor::Inhibit() {
    if (cookie_ || !bus_.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Inhibit");
    call << QStringLiteral("dravolin") << quint32(0) << reason_ << kInhibitAutomount;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        cookie_ = reply.arguments().front().toUInt();
    }
}

void SessionInhibitor::Uninhibit() {
    if (!cookie_) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Uninhibit");
    call << *cookie_;
    cookie_.reset();
    if (bus_.isConnected()) bus_.call(call, QDBus::Block, kCallTimeoutMs);
}

}  // namespace dravolin::qt
