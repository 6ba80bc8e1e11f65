#include "platform/win32/Win32FolderPicker.h"

#include "platform/win32/Handles.h"
#include "platform/win32/ItemIdList.h"

namespace dravolin::win32 {

// Every item-ID list is freed and the allocator released on every way out.
std::optional<std::string> Win32FolderPicker::Browse(const Request& request) {
    ComPtr<IMalloc> allocator;
    if (FAILED(::SHGetMalloc(allocator.Put())) || !allocator) return std::nullopt;

    HWND owner = reinterpret_cast<HWND>(request.owner);
    // Without a location the browser simply gets no root.
    ItemIdList root(allocator.Get());
    ::SHGetSpecialFolderLocation(owner, request.rootCsidl, root.Put());

    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = root.Get();
    info.pszDisplayName = displayName;
    info.lpszTitle = request.title.c_str();
    info.ulFlags = request.flags;
    info.lpfn = nullptr;
    info.lParam = 0;

    ItemIdList chosen(allocator.Get(), ::SHBrowseForFolderA(&info));
    if (!chosen) return std::nullopt;
    char path[MAX_PATH] = {};
    const bool converted = ::SHGetPathFromIDListA(chosen.Get(), path) != FALSE;
    chosen.Reset();
    path[MAX_PATH - 1] = '\0';
    if (!converted || path[0] == '\0') return std::nullopt;
    return std::string(path);
}

}  // namespace dravolin::win32
