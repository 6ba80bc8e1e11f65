#include "platform/win32/Win32Registry.h"

#include <algorithm>
#include <vector>
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

namespace {

HKEY KeyOf(win::RootKey root) {
    switch (root) {
        case win::RootKey::CurrentUser:
            return HKEY_CURRENT_USER;
        case win::RootKey::LocalMachine:
            return HKEY_LOCAL_MACHINE;
    }
    return nullptr;
}

}  // namespace

// The capacity goes in as the byte count; what comes back is the count read.
Registry::Value Win32Registry::GetValue(win::RootKey root, const std::string& subKey,
                                        const std::string& name, std::uint32_t capacity) {
    std::vector<char> buffer(capacity > 0 ? capacity : 1, '\0');
    DWORD type = 0;
    DWORD size = capacity;
    Value value;
    value.result = static_cast<std::int32_t>(
        ::SHGetValueA(KeyOf(root), subKey.c_str(), name.c_str(), &type, buffer.data(), &size));
    value.type = type;
    if (value.result == ERROR_SUCCESS)
        value.data.assign(buffer.data(), std::min<DWORD>(size, capacity));
    return value;
}

// The byte count is the data's own length: a string is stored without a terminating NUL.
// RegSetValueExA, under SHSetValueA, counts a string's terminator itself when the count leaves
// it out and a NUL follows the data, as one does in every C string; so the bytes are handed over
// with a byte after them that is not a NUL, and exactly the counted bytes are stored.
std::int32_t Win32Registry::SetValue(win::RootKey root, const std::string& subKey,
                                     const std::string& name, std::uint32_t type,
                                     const std::string& data) {
    std::string guarded = data;
    guarded.push_back('\x01');
    return static_cast<std::int32_t>(::SHSetValueA(KeyOf(root), subKey.c_str(), name.c_str(), type,
                                                   guarded.data(),
                                                   static_cast<DWORD>(data.size())));
}

std::int32_t Win32Registry::DeleteValue(win::RootKey root, const std::string& subKey,
                                        const std::string& name) {
    return static_cast<std::int32_t>(::SHDeleteValueA(KeyOf(root), subKey.c_str(), name.c_str()));
}

}  // namespace dravolin::win32
