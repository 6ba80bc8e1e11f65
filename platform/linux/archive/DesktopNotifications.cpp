#include "platform/linux/archive/DesktopNotifications.h"

#include <dbus/dbus.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

namespace dravolin::lnx {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
// The application's name, icon and summary; "desktop-entry" names its .desktop file, as
// QApplication::setDesktopFileName does for the dialog, so the desktop groups them together.
constexpr const char* kName = "Dravolin";
constexpr const char* kIcon = "dravolin";
constexpr const char* kDesktopEntry = "dravolin";
constexpr unsigned char kNormal = 1, kCritical = 2;

struct Bus {
    void operator()(DBusConnection* c) const {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
struct Unref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, Unref>;

// A DBusError that frees itself; the worker only needs to know whether a call failed.
struct CallError : DBusError {
    CallError() { dbus_error_init(this); }
    ~CallError() { dbus_error_free(this); }
    CallError(const CallError&) = delete;
    CallError& operator=(const CallError&) = delete;
};

// The reply to `call`, or null on an error reply or when the deadline passed first.
Message Call(DBusConnection* bus, DBusMessage* call, Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (!call || left.count() <= 0) return nullptr;
    CallError error;
    return Message(dbus_connection_send_with_reply_and_block(
        bus, call, static_cast<int>(left.count()), &error));
}

// A private connection to the bus at `address`, registered with it. The bus's Hello is sent by
// hand rather than by dbus_bus_register, whose wait has no bound of ours.
std::unique_ptr<DBusConnection, Bus> Open(const std::string& address, Clock::time_point deadline) {
    CallError error;
    std::unique_ptr<DBusConnection, Bus> bus(dbus_connection_open_private(address.c_str(), &error));
    if (!bus) return nullptr;
    // A lost bus must never end the whole process.
    dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    const Message hello(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                     DBUS_INTERFACE_DBUS, "Hello"));
    return Call(bus.get(), hello.get(), deadline) ? std::move(bus) : nullptr;
}

// Bytes of the well-formed UTF-8 character `text` starts with; 0 when it starts with none. NUL
// counts as none: libdbus strings end at it, and what follows would be lost.
std::size_t CharacterLength(std::string_view text) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) return lead == 0 ? 0 : 1;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || text.size() < length) return 0;
    std::uint32_t point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((at(i) & 0xC0) != 0x80) return 0;
        point = point << 6 | (at(i) & 0x3F);
    }
    constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point >= kShortest[length] && point <= 0x10FFFF && !surrogate ? length : 0;
}

// libdbus aborts the process on a string argument that is not UTF-8, and a disc's label is
// bytes as read: every byte that starts no character becomes U+FFFD.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const std::size_t length = CharacterLength(text);
        out += length ? text.substr(0, length) : "\xEF\xBF\xBD";
        text.remove_prefix(std::max<std::size_t>(length, 1));
    }
    return out;
}

// Where the service reads the body as markup, a label's "&" or "<" must stay text.
std::string EscapeMarkup(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

bool SpeaksMarkup(DBusMessage* capabilities) {
    DBusMessageIter reply, names;
    if (!dbus_message_iter_init(capabilities, &reply) ||
        dbus_message_iter_get_arg_type(&reply) != DBUS_TYPE_ARRAY ||
        dbus_message_iter_get_element_type(&reply) != DBUS_TYPE_STRING) {
        return false;
    }
    for (dbus_message_iter_recurse(&reply, &names);
         dbus_message_iter_get_arg_type(&names) == DBUS_TYPE_STRING;
         dbus_message_iter_next(&names)) {
        const char* name = nullptr;
        dbus_message_iter_get_basic(&names, &name);
        if (std::string_view(name) == "body-markup") return true;
    }
    return false;
}

// "susssasa{sv}i": name, replaces_id, icon, summary, body, actions, hints, expire_timeout.
bool AppendNotify(DBusMessage* call, const char* body, unsigned char urgency) {
    const char* name = kName;
    const char* icon = kIcon;
    const char* entry = kDesktopEntry;
    const dbus_uint32_t replaces = 0;
    const dbus_int32_t expires = -1;  // as the service decides
    if (!dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_UINT32, &replaces,
                                  DBUS_TYPE_STRING, &icon, DBUS_TYPE_STRING, &name,
                                  DBUS_TYPE_STRING, &body, DBUS_TYPE_INVALID)) {
        return false;
    }
    DBusMessageIter args, actions, hints;
    dbus_message_iter_init_append(call, &args);
    const auto hint = [&](const char* key, int type, const void* value) {
        const char signature[2] = {static_cast<char>(type), '\0'};
        DBusMessageIter pair, variant;
        return dbus_message_iter_open_container(&hints, DBUS_TYPE_DICT_ENTRY, nullptr, &pair) &&
               dbus_message_iter_append_basic(&pair, DBUS_TYPE_STRING, &key) &&
               dbus_message_iter_open_container(&pair, DBUS_TYPE_VARIANT, signature, &variant) &&
               dbus_message_iter_append_basic(&variant, type, value) &&
               dbus_message_iter_close_container(&pair, &variant) &&
               dbus_message_iter_close_container(&hints, &pair);
    };
    return dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "s", &actions) &&
           dbus_message_iter_close_container(&args, &actions) &&
           dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &hints) &&
           hint("urgency", DBUS_TYPE_BYTE, &urgency) &&
           hint("desktop-entry", DBUS_TYPE_STRING, &entry) &&
           dbus_message_iter_close_container(&args, &hints) &&
           dbus_message_iter_append_basic(&args, DBUS_TYPE_INT32, &expires);
}

// On a worker: asks whether the service reads markup, then shows the notification, both within
// one timeout. Any failure ends it quietly.
void Deliver(const std::string& address, bool needsPerson, const std::string& text) {
    const Clock::time_point deadline = Clock::now() + DesktopNotifications::kReplyTimeout;
    if (address.empty()) return;
    const auto bus = Open(address, deadline);
    if (!bus) return;
    const Message ask(dbus_message_new_method_call(kService, kPath, kService, "GetCapabilities"));
    const Message capabilities = Call(bus.get(), ask.get(), deadline);
    if (!capabilities) return;
    std::string body = ValidUtf8(text);
    if (SpeaksMarkup(capabilities.get())) body = EscapeMarkup(body);
    // The last guard: a string libdbus would refuse must never reach it.
    if (!dbus_validate_utf8(body.c_str(), nullptr)) return;
    const Message notify(dbus_message_new_method_call(kService, kPath, kService, "Notify"));
    if (!notify || !AppendNotify(notify.get(), body.c_str(), needsPerson ? kCritical : kNormal)) {
        return;
    }
    Call(bus.get(), notify.get(), deadline);
}

std::string SessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return address ? address : "";
}

}  // namespace

DesktopNotifications::DesktopNotifications(Threads& threads, std::string busAddress)
    : threads_(threads), address_(busAddress.empty() ? SessionBus() : std::move(busAddress)) {}

void DesktopNotifications::Send(bool needsPerson, const std::string& text) {
    // The handle goes at once: the worker runs on, and the threads' end of the program waits for
    // it like any other.
    threads_.Create([address = address_, needsPerson, text] {
        Deliver(address, needsPerson, text);
        return 0u;
    });
}

}  // namespace dravolin::lnx
