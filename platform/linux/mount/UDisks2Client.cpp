#include "platform/linux/mount/UDisks2Client.h"

#include <dbus/dbus.h>
#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string_view>
#include "platform/linux/threads/Cancellation.h"

namespace dravolin::lnx {

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";
constexpr const char* kLoop = "org.freedesktop.UDisks2.Loop";
constexpr const char* kManager = "org.freedesktop.UDisks2.Manager";
constexpr const char* kManagerPath = "/org/freedesktop/UDisks2/Manager";
constexpr std::string_view kBlockDevices = "/org/freedesktop/UDisks2/block_devices/";
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

// One method call, and what goes into it besides the standard options.
struct Request {
    std::string path{};
    const char* interface = kFilesystem;
    const char* method = nullptr;
    int fd = -1;                         // passed ahead of the options when not negative
    std::string mountOptions{};          // the "options" entry, when not empty
    bool readOnly = false;               // the "read-only" entry
    int answerType = DBUS_TYPE_INVALID;  // of the answer's one value, when it has one
};

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

// Appends a{sv}: the request's entries, and "auth.no_user_interaction" when no person may be
// asked.
bool AppendOptions(DBusMessage* message, const Request& request, bool noInteraction) {
    DBusMessageIter args, dict;
    dbus_message_iter_init_append(message, &args);
    if (!dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict)) return false;
    const char* value = request.mountOptions.c_str();
    if (!request.mountOptions.empty() && !AppendEntry(&dict, "options", DBUS_TYPE_STRING, &value)) {
        return false;
    }
    const dbus_bool_t yes = TRUE;
    if (request.readOnly && !AppendEntry(&dict, "read-only", DBUS_TYPE_BOOLEAN, &yes)) {
        return false;
    }
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

// BlockObjectPath undone; empty for a path that names no block device.
std::string KernelNameOf(std::string_view path) {
    if (!path.starts_with(kBlockDevices)) return {};
    path.remove_prefix(kBlockDevices.size());
    std::string name;
    while (!path.empty()) {
        if (path[0] != '_') {
            name.push_back(path[0]);
            path.remove_prefix(1);
            continue;
        }
        unsigned byte = 0;
        if (path.size() < 3) return {};
        const auto [end, error] = std::from_chars(path.data() + 1, path.data() + 3, byte, 16);
        if (error != std::errc() || end != path.data() + 3) return {};
        name.push_back(static_cast<char>(byte));
        path.remove_prefix(3);
    }
    return name;
}

// Sends `request` on a connection of its own; the answer's one value goes to `answer`.
UDisks2Client::Result Send(const std::string& address, const Request& request,
                           std::string* answer) {
    UDisks2Client::Result result;
    Error error;
    Connection connection = Connect(address, error);
    if (!connection) {
        result = UDisks2Client::Failed(error.Name(),
                                       error.IsSet() ? error.Message() : "no D-Bus connection");
        result.serviceAbsent = true;
        return result;
    }
    Message call(dbus_message_new_method_call(kService, request.path.c_str(), request.interface,
                                              request.method));
    if (!call) {
        result.error = "out of memory";
        return result;
    }
    if (request.fd >= 0) {
        // A descriptor travels beside the message, which only some transports can carry.
        if (!dbus_connection_can_send_type(connection.get(), DBUS_TYPE_UNIX_FD)) {
            result.error = "the D-Bus connection cannot pass a file descriptor";
            return result;
        }
        if (!dbus_message_append_args(call.get(), DBUS_TYPE_UNIX_FD, &request.fd,
                                      DBUS_TYPE_INVALID)) {
            result.error = "the file descriptor could not be passed";
            return result;
        }
    }
    const bool onWorker = OnWorker();
    if (!AppendOptions(call.get(), request, !onWorker)) {
        result.error = "out of memory";
        return result;
    }
    Message reply(dbus_connection_send_with_reply_and_block(
        connection.get(), call.get(), onWorker ? kWorkerCallTimeoutMs : kUiThreadCallTimeoutMs,
        &error));
    if (!reply) return UDisks2Client::Failed(error.Name(), error.Message());
    if (request.answerType != DBUS_TYPE_INVALID) {
        const char* value = nullptr;
        if (!dbus_message_get_args(reply.get(), &error, request.answerType, &value,
                                   DBUS_TYPE_INVALID)) {
            return UDisks2Client::Failed(error.Name(), error.Message());
        }
        *answer = value;
    }
    result.ok = true;
    return result;
}

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
    const Request request{.path = BlockObjectPath(kernelName),
                          .method = "Mount",
                          .mountOptions = options,
                          .answerType = DBUS_TYPE_STRING};
    std::string mountPoint;
    Result result = Send(address_, request, &mountPoint);
    result.mountPoint = std::move(mountPoint);
    return result;
}

UDisks2Client::Result UDisks2Client::Unmount(const std::string& kernelName) {
    return Send(address_, Request{.path = BlockObjectPath(kernelName), .method = "Unmount"},
                nullptr);
}

UDisks2Client::Result UDisks2Client::LoopSetup(int fd) {
    const Request request{.path = kManagerPath,
                          .interface = kManager,
                          .method = "LoopSetup",
                          .fd = fd,
                          .readOnly = true,
                          .answerType = DBUS_TYPE_OBJECT_PATH};
    std::string path;
    Result result = Send(address_, request, &path);
    if (!result.ok) return result;
    result.loopName = KernelNameOf(path);
    if (result.loopName.empty()) {
        result.ok = false;
        result.error = "LoopSetup answered with no block device: " + path;
    }
    return result;
}

UDisks2Client::Result UDisks2Client::LoopDelete(const std::string& kernelName) {
    return Send(
        address_,
        Request{.path = BlockObjectPath(kernelName), .interface = kLoop, .method = "Delete"},
        nullptr);
}

}  // namespace dravolin::lnx
