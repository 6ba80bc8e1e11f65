#include "platform/linux/mount/UDisks2Client.h"

#include <dbus/dbus.h>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string_view>
#include "platform/linux/threads/Cancellation.h"

namespace dravolin::lnx {

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";
constexpr int kWorkerCallTimeoutMs = 120000;  // a disc may take a while to spin up
// The user's double click ejects on the UI thread, which must not stand still for the service:
// it waits a second at most, and asks that no password dialog be shown meanwhile.
constexpr int kUiThreadCallTimeoutMs = 1000;

struct ConnectionCloser {
    void operator()(DBusConnection* c) const {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageUnref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

class Error {
  public:
    Error() { dbus_error_init(&error_); }
    ~Error() { dbus_error_free(&error_); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    DBusError* operator&() { return &error_; }
    bool IsSet() const { return dbus_error_is_set(&error_); }
    std::string Name() const { return IsSet() ? error_.name : ""; }
    std::string Message() const { return IsSet() && error_.message ? error_.message : ""; }

  private:
    DBusError error_;
};

Connection Connect(const std::string& address, Error& error) {
    DBusConnection* raw = nullptr;
    if (address.empty()) {
        raw = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
        if (!raw) return nullptr;
    } else {
        raw = dbus_connection_open_private(address.c_str(), &error);
        if (!raw) return nullptr;
        if (!dbus_bus_register(raw, &error)) {
            ConnectionCloser()(raw);
            return nullptr;
        }
    }
    dbus_connection_set_exit_on_disconnect(raw, FALSE);
    return Connection(raw);
}

// Appends to the dictionary one entry whose value is a variant of `type`.
bool AppendEntry(DBusMessageIter* dict, const char* key, int type, const void* value) {
    const char signature[2] = {static_cast<char>(type), '\0'};
    DBusMessageIter entry, variant;
    return dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry) &&
           dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key) &&
           dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant) &&
           dbus_message_iter_append_basic(&variant, type, value) &&
           dbus_message_iter_close_container(&entry, &variant) &&
           dbus_message_iter_close_container(dict, &entry);
}

// Appends a{sv}: the mount "options" when given, and "auth.no_user_interaction" when no person
// may be asked.
bool AppendOptions(DBusMessage* message, const std::string& options, bool noInteraction) {
    DBusMessageIter args, dict;
    dbus_message_iter_init_append(message, &args);
    if (!dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict)) return false;
    const char* value = options.c_str();
    if (!options.empty() && !AppendEntry(&dict, "options", DBUS_TYPE_STRING, &value)) return false;
    const dbus_bool_t yes = TRUE;
    if (noInteraction && !AppendEntry(&dict, "auth.no_user_interaction", DBUS_TYPE_BOOLEAN, &yes)) {
        return false;
    }
    return dbus_message_iter_close_container(&args, &dict);
}

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* one : names) {
        if (name == one) return true;
    }
    return false;
}

// The names the service's policy answers with: NotAuthorized, NotAuthorizedCanObtain,
// NotAuthorizedDismissed.
constexpr std::string_view kNotAuthorized = "org.freedesktop.UDisks2.Error.NotAuthorized";

}  // namespace

std::string UDisks2Client::BlockObjectPath(const std::string& kernelName) {
    std::string path = "/org/freedesktop/UDisks2/block_devices/";
    for (unsigned char c : kernelName) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            path.push_back(static_cast<char>(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02x", c);
            path += escaped;
        }
    }
    return path;
}

UDisks2Client::Result UDisks2Client::Failed(const std::string& name, const std::string& message) {
    Result result;
    result.errorName = name;
    result.error = message;
    result.serviceAbsent =
        IsOneOf(name, {DBUS_ERROR_SERVICE_UNKNOWN, DBUS_ERROR_NO_SERVER, DBUS_ERROR_FILE_NOT_FOUND,
                       DBUS_ERROR_NO_NETWORK, DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND,
                       DBUS_ERROR_NAME_HAS_NO_OWNER});
    result.alreadyMounted = name == "org.freedesktop.UDisks2.Error.AlreadyMounted";
    result.noFilesystem = IsOneOf(
        name, {DBUS_ERROR_UNKNOWN_METHOD, DBUS_ERROR_UNKNOWN_OBJECT, DBUS_ERROR_UNKNOWN_INTERFACE});
    result.notAuthorized = std::string_view(name).starts_with(kNotAuthorized);
    return result;
}

UDisks2Client::Result UDisks2Client::Mount(const std::string& kernelName,
                                           const std::string& options) {
    return Call(kernelName, "Mount", options);
}

UDisks2Client::Result UDisks2Client::Unmount(const std::string& kernelName) {
    return Call(kernelName, "Unmount", {});
}

UDisks2Client::Result UDisks2Client::Call(const std::string& kernelName, const char* method,
                                          const std::string& options) {
    Result result;
    Error error;
    Connection connection = Connect(address_, error);
    if (!connection) {
        result = Failed(error.Name(), error.IsSet() ? error.Message() : "no D-Bus connection");
        result.serviceAbsent = true;
        return result;
    }
    const std::string path = BlockObjectPath(kernelName);
    Message call(dbus_message_new_method_call(kService, path.c_str(), kFilesystem, method));
    const bool onWorker = OnWorker();
    if (!call || !AppendOptions(call.get(), options, !onWorker)) {
        result.error = "out of memory";
        return result;
    }
    Message reply(dbus_connection_send_with_reply_and_block(
        connection.get(), call.get(), onWorker ? kWorkerCallTimeoutMs : kUiThreadCallTimeoutMs,
        &error));
    if (!reply) return Failed(error.Name(), error.Message());
    if (std::strcmp(method, "Mount") == 0) {
        const char* mountPoint = nullptr;
        if (!dbus_message_get_args(reply.get(), &error, DBUS_TYPE_STRING, &mountPoint,
                                   DBUS_TYPE_INVALID)) {
            return Failed(error.Name(), error.Message());
        }
        result.mountPoint = mountPoint;
    }
    result.ok = true;
    return result;
}

}  // namespace dravolin::lnx
