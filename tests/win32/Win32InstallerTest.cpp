// Dravolin.msi as a Windows user meets it: installed quietly with msiexec into Program Files
// with Start-menu shortcuts (the program, and the program in archive mode), the installed
// program started as each shortcut says and closed
// through its window, its licence beside it and named in Programs and Features, a later version
// installed over it, then uninstalled: the files and the shortcut go, the user's history under
// HKCU\Software\Dravolin stays.
#include <gtest/gtest.h>
#include <msi.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Desktop.h"

namespace dravolin::win32::test {
namespace {

// Fixed in platform/win32/installer/Dravolin.wxs for every version.
constexpr const char* kUpgradeCode = "{BF9A21A0-D158-41BF-84F7-1892C4A107A2}";
// Where Windows Installer keeps what Programs and Features shows of an installed product.
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Runs a command line to its end: its exit code, or -1 when it did not start or end in time.
long RunToEnd(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
        return -1;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    if (::WaitForSingleObject(process.Get(), 120000) != WAIT_OBJECT_0) return -1;
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    return static_cast<long>(code);
}

long Msiexec(const char* action, const std::string& package) {
    return RunToEnd(std::string("msiexec ") + action + " \"" + WindowsPathOf(package) + "\" /qn");
}

// The product codes installed under Dravolin's upgrade code.
std::vector<std::string> InstalledProducts() {
    std::vector<std::string> products;
    char product[39] = {};
    for (DWORD i = 0; ::MsiEnumRelatedProductsA(kUpgradeCode, 0, i, product) == ERROR_SUCCESS;
         ++i) {
        products.emplace_back(product);
    }
    return products;
}

std::vector<std::string> InstalledVersions() {
    std::vector<std::string> versions;
    for (const std::string& product : InstalledProducts()) {
        char version[64] = {};
        DWORD size = sizeof(version);
        ::MsiGetProductInfoA(product.c_str(), "VersionString", version, &size);
        versions.emplace_back(version);
    }
    return versions;
}

struct Shortcut {
    std::string target;
    std::string workingFolder;
    std::string arguments;
};

std::optional<Shortcut> ReadShortcut(const std::string& path) {
    ComPtr<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  link.PutVoid()))) {
        return std::nullopt;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return std::nullopt;
    std::wstring wide(path.begin(), path.end());
    if (FAILED(file->Load(wide.c_str(), STGM_READ))) return std::nullopt;
    char target[MAX_PATH] = {};
    char folder[MAX_PATH] = {};
    char arguments[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    link->GetArguments(arguments, MAX_PATH);
    return Shortcut{target, folder, arguments};
}

class Installer : public ::testing::Test {
  protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        ASSERT_FALSE(msi.empty()) << "DRAVOLIN_MSI is not set";
        ASSERT_FALSE(laterMsi.empty()) << "DRAVOLIN_LATER_MSI is not set";
        // Whatever an interrupted run left installed goes first (each build of the package
        // has a product code of its own).
        for (const std::string& product : InstalledProducts()) {
            RunToEnd("msiexec /x " + product + " /qn");
        }
        ASSERT_TRUE(InstalledVersions().empty());
        // A run stopped between two installations can leave files that no installed product
        // owns any more.
        ::DeleteFileA(exe.c_str());
        ::DeleteFileA(licence.c_str());
        ::RemoveDirectoryA(folder.c_str());
        for (const char* name : kShortcuts) {
            for (std::string shortcut = InstalledShortcut(name); !shortcut.empty();
                 shortcut = InstalledShortcut(name)) {
                ASSERT_TRUE(::DeleteFileA(shortcut.c_str())) << shortcut;
            }
            ASSERT_EQ(InstalledShortcut(name), "");
        }
        ASSERT_FALSE(Exists(exe)) << exe;
        // The user's history, from an earlier installation or a copy of the program run
        // without one.
        DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
        ::SHCreateDirectoryExA(nullptr, "C:\\Discs", nullptr);
        WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00", REG_SZ, "C:\\Discs\\");
    }
    void TearDown() override {
        DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
        ::CoUninitialize();
    }

    // After an uninstallation: nothing of the program is left but the user's history.
    void ExpectUninstalled() {
        EXPECT_TRUE(InstalledVersions().empty());
        EXPECT_FALSE(Exists(exe)) << exe;
        EXPECT_FALSE(Exists(folder)) << folder;
        for (const char* name : kShortcuts) EXPECT_EQ(InstalledShortcut(name), "");
        const RawValue history = ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00");
        EXPECT_EQ(history.status, ERROR_SUCCESS);
        EXPECT_EQ(history.bytes, "C:\\Discs\\");
    }

    const std::string msi = Env("DRAVOLIN_MSI");
    const std::string laterMsi = Env("DRAVOLIN_LATER_MSI");
    const std::string folder = Folder(CSIDL_PROGRAM_FILES) + "\\Dravolin";
    const std::string exe = folder + "\\Dravolin.exe";
    const std::string licence = folder + "\\LICENSE.txt";

    // The program's shortcuts: the program, and the program in archive mode.
    static constexpr const char* kShortcuts[] = {"Dravolin", "Dravolin (archive discs)"};

    // A shortcut in the Start menu's programs: the one of all users, where Windows puts it for
    // this per-machine package, or the user's own, where Wine's Windows Installer puts it.
    // Empty when there is none.
    static std::string InstalledShortcut(const std::string& name) {
        for (const int menu : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
            const std::string path = Folder(menu) + "\\" + name + ".lnk";
            if (Exists(path)) return path;
        }
        return {};
    }
};

TEST_F(Installer, InstallsTheProgramWithItsShortcutsAndUninstallsKeepingTheHistory) {
    ASSERT_EQ(Msiexec("/i", msi), 0);
    EXPECT_TRUE(Exists(exe)) << exe;
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{"1.0.0.1"});
    EXPECT_EQ(FirstLine(licence), "MIT License") << licence;
    const std::vector<std::string> products = InstalledProducts();
    ASSERT_EQ(products.size(), 1u);
    const RawValue comments = ReadRaw(HKEY_LOCAL_MACHINE, kUninstallKey + products[0], "Comments");
    EXPECT_NE(comments.bytes.find("LICENSE.txt"), std::string::npos) << comments.bytes;
    // Each started as its shortcut says, shown with the history and the title of its mode,
    // closed with its Exit button.
    struct Expected {
        const char* shortcut;
        const char* arguments;
        std::string title;
    };
    const Expected expected[] = {
        {"Dravolin", "", "Dravolin"},
        {"Dravolin (archive discs)", "/archive",
         Win32Resources(::GetModuleHandleA(nullptr)).LoadString(IDS_ARCHIVE_CAPTION)}};
    for (const Expected& want : expected) {
        SCOPED_TRACE(want.shortcut);
        const std::string shortcut = InstalledShortcut(want.shortcut);
        ASSERT_NE(shortcut, "");
        const std::optional<Shortcut> link = ReadShortcut(shortcut);
        ASSERT_TRUE(link.has_value()) << shortcut;
        EXPECT_EQ(Lower(link->target), Lower(exe));
        EXPECT_EQ(Lower(link->workingFolder), Lower(folder + "\\"));
        EXPECT_EQ(link->arguments, want.arguments);

        std::string commandLine = "\"" + link->target + "\" " + link->arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        ASSERT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, link->workingFolder.c_str(), &startup, &started))
            << commandLine;
        UniqueHandle process(started.hProcess);
        UniqueHandle thread(started.hThread);
        HWND dialog = nullptr;
        ASSERT_TRUE(
            WaitUntil([&] { return (dialog = FindDialogOf(started.dwProcessId)) != nullptr; }));
        EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDC_TARGET)), "C:\\Discs\\");
        EXPECT_EQ(TextOf(dialog), want.title);
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        ::GetExitCodeProcess(process.Get(), &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }

    ASSERT_EQ(Msiexec("/x", msi), 0);
    ExpectUninstalled();
}

TEST_F(Installer, ALaterVersionReplacesThisOne) {
    ASSERT_EQ(Msiexec("/i", msi), 0);
    ASSERT_EQ(Msiexec("/i", laterMsi), 0);
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{"1.0.1.0"});
    EXPECT_TRUE(Exists(exe)) << exe;
    for (const char* name : kShortcuts) EXPECT_NE(InstalledShortcut(name), "");

    ASSERT_EQ(Msiexec("/x", laterMsi), 0);
    ExpectUninstalled();
}

}  // namespace
}  // namespace dravolin::win32::test
