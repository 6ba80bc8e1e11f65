#include "platform/win32/Win32Shell.h"

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Controls.h"

namespace dravolin::win32 {

namespace {

HWND WindowOf(WindowHandle handle) {
    return reinterpret_cast<HWND>(handle);
}

// The shell reads a list of paths up to an empty one. The caller's lists end that way already;
// one more NUL past the string's own terminator keeps a list that does not from being read past
// its end, and changes nothing for one that does.
std::string PathList(const std::string& list) {
    std::string terminated = list;
    terminated.push_back('\0');
    return terminated;
}

}  // namespace

ShellInfo::FileInfo Win32ShellInfo::GetFileInfo(const std::string& path, std::uint32_t attributes,
                                                std::uint32_t flags) {
    SHFILEINFOA info{};
    ::SHGetFileInfoA(path.c_str(), attributes, &info, sizeof(info), flags);
    FileInfo result;
    if (info.hIcon != nullptr) result.icon = std::make_unique<Win32Icon>(info.hIcon, false);
    info.szDisplayName[sizeof(info.szDisplayName) - 1] = '\0';
    result.displayName = info.szDisplayName;
    return result;
}

int Win32ShellCopy::FileOperation(const Operation& op) {
    const std::string from = PathList(op.from);
    const std::string to = PathList(op.to);
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = WindowOf(op.owner);
    operation.wFunc = op.function;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = op.flags;
    operation.hNameMappings = nullptr;
    operation.lpszProgressTitle = nullptr;
    return ::SHFileOperationA(&operation);
}

std::int32_t Win32PathPreparer::PrepareForWrite(WindowHandle owner, const std::string& path,
                                                std::uint32_t flags) {
    return ::SHPathPrepareForWriteA(WindowOf(owner), nullptr, path.c_str(), flags);
}

void Win32AutoComplete::Enable(WindowHandle edit, std::uint32_t flags) {
    ::SHAutoComplete(WindowOf(edit), flags);
}

void Win32ShellOpen::Open(WindowHandle owner, const std::string& file, int showCommand) {
    ::ShellExecuteA(WindowOf(owner), nullptr, file.c_str(), nullptr, nullptr, showCommand);
}

}  // namespace dravolin::win32
