// Archive mode's Windows parts: the log under contention and failure, the command line, and the
// archiver's handling of what the bag writer reports (with a fake writer).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/win32/Handles.h"
#include "archive/ArchiveLog.h"
#include "engine/ArchiveCommandLine.h"
#include "platform/win32/Win32CommandLine.h"
#include "platform/win32/archive/Win32ArchiveWindows.h"
#include "platform/win32/archive/Win32Archiver.h"
#include "platform/win32/res/Win32Resource.h"
#include "platform/win32/archive/Win32LogFile.h"
#include "platform/win32/archive/WideText.h"

namespace dravolin::win32::test {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder, removed with the object.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        path_ = fs::path(temp) / name;
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::wstring Wide() const { return path_.wstring(); }
    std::string Ansi() const { return path_.string(); }
    fs::path Path() const { return path_; }

  private:
    fs::path path_;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

archive::LogRow Row(const std::string& label) {
    archive::LogRow row;
    row.start = "2026-12-08T10:00:00+00:00";
    row.end = "2026-12-08T10:05:00+00:00";
    row.drive = "E";
    row.label = label;
    row.fingerprint = 0x2e0c1d44;
    row.bagFolder = label + " 2026-12-08 2e0c1d44";
    row.files = 3;
    row.bytes = 4096;
    row.result = archive::DiscResult::Complete;
    return row;
}

// Writes the first half of what it is given, then fails: a full disk or a lost share.
long long HalfThenFail(HANDLE file, const char* data, DWORD size, std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    ::WriteFile(file, data, size / 2, &done, &at);
    return -1;
}

struct LogCase {
    const char* name;
    std::string before;  // the log's text; none when empty
    int drives;          // appending at once, each from its own thread
    int rowsEach;
    LogWrite write;
    bool appended;         // what each append returns
    std::size_t rowsRead;  // whole rows read back afterwards
    bool unchanged;        // the file is as it was before
};

TEST(Win32LogFile, AppendsWholeRowsUnderOneHeaderAndCutsBackARowItCannotFinish) {
    const std::string header = archive::HeaderLine();
    const std::string whole = header + archive::FormatRow(Row("OLD"));
    const std::string torn = whole.substr(0, whole.size() - 2);  // no line break at its end
    const std::vector<LogCase> cases = {
        {"two drives at once on a new log", "", 2, 40, nullptr, true, 80, false},
        {"a row the disk takes only half of", whole, 1, 1, HalfThenFail, false, 1, true},
        {"a new log the disk takes only half of", "", 1, 1, HalfThenFail, false, 0, true},
        {"a row after a torn one", torn, 1, 1, nullptr, true, 2, false},
    };
    for (const LogCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFolder folder(L"dravolin-log-test");
        const fs::path log = folder.Path() / "archive-log.csv";
        if (!c.before.empty()) WriteAll(log, c.before);

        std::vector<std::thread> drives;
        std::atomic<int> failures{0};
        for (int drive = 0; drive < c.drives; ++drive) {
            drives.emplace_back([&, drive] {
                for (int i = 0; i < c.rowsEach; ++i) {
                    const archive::LogRow row =
                        Row("DISC" + std::to_string(drive) + "-" + std::to_string(i));
                    if (AppendLogRow(folder.Wide(), row, c.write) != c.appended) ++failures;
                }
            });
        }
        for (std::thread& drive : drives) drive.join();
        EXPECT_EQ(failures.load(), 0);

        const std::string text = ReadAll(log);
        EXPECT_EQ(ReadLogFile(folder.Wide()), text);
        if (c.unchanged) {
            EXPECT_EQ(text, c.before);
            continue;
        }
        EXPECT_EQ(Count(text, header), 1u) << text;
        EXPECT_EQ(text.find(header), 0u);
        EXPECT_TRUE(text.ends_with("\r\n"));
        const std::vector<archive::LogRow> rows = archive::ParseLog(text);
        EXPECT_EQ(rows.size(), c.rowsRead);
        // Every line is a header or a whole row: nothing torn, nothing interleaved.
        EXPECT_EQ(Count(text, "\r\n"), c.rowsRead + 1) << text;
    }
}

struct LineCase {
    std::vector<std::string> arguments;  // after the program's name
    Win32CommandLine::Action action;
    bool archive;
    std::string pattern;
    std::uint32_t discSeconds;
    std::wstring text;  // the start of what is shown
};

TEST(Win32CommandLine, TakesTheWindowsAndTheLinuxSpellingAndRefusesInOneTranslatedLine) {
    using Action = Win32CommandLine::Action;
    const std::string pattern(archive::kDefaultPattern);
    const std::uint32_t seconds = ArchiveOptions{}.discSeconds;
    const ScratchFolder folder(L"dravolin-command-line-test");
    const std::string profile = folder.Ansi() + "\\profile.txt";
    const std::string oxum = folder.Ansi() + "\\oxum.txt";
    const std::string missing = folder.Ansi() + "\\missing.txt";
    WriteAll(profile, "Source-Organization: City Archive\r\n");
    WriteAll(oxum, "Payload-Oxum: 5.1\r\n");
    const std::vector<LineCase> cases = {
        {{}, Action::Run, false, pattern, seconds, L""},
        {{"/archive"}, Action::Run, true, pattern, seconds, L""},
        {{"--archive"}, Action::Run, true, pattern, seconds, L""},
        {{"/archive", "/name", "{label} {time}", "/disc-time", "90"},
         Action::Run,
         true,
         "{label} {time}",
         5400,
         L""},
        {{"--archive", "--name={drive}", "--disc-time=5"}, Action::Run, true, "{drive}", 300, L""},
        {{"/?"}, Action::Tell, false, pattern, seconds, L"Usage: Dravolin.exe [/archive"},
        {{"/version"}, Action::Tell, false, pattern, seconds, L"Dravolin 1.0"},
        {{"/frob"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: unknown option /frob; see Dravolin.exe /?"},
        {{"--frob=1"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: unknown option --frob; see Dravolin.exe /?"},
        {{"/name", "x"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: /name applies only with /archive"},
        {{"/archive", "/name"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: option /name needs a value"},
        {{"/archive=yes"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: option /archive takes no value"},
        {{"/archive", "/disc-time", "0"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: /disc-time takes whole minutes from 1 to 1440, not 0"},
        {{"/archive", "/name", "{lable}"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: /name: unknown field {lable}; the fields are"},
        {{"/archive", "/name", "{label"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: /name: a { is not closed by a }: {label"},
        // This build reads no disc into an image: what a bag keeps is not to be chosen.
        {{"/archive", "/keep", "image"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: unknown option /keep; see Dravolin.exe /?"},
        {{"/archive", "D:\\"},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: unexpected argument D:\\; see Dravolin.exe /?"},
        {{"/archive", "/bag-info", profile}, Action::Run, true, pattern, seconds, L""},
        {{"/bag-info", profile},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: /bag-info applies only with /archive"},
        {{"/archive", "--bag-info=" + oxum},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: /bag-info: line 1 of " + WideFromUtf8(oxum) +
             L": Dravolin writes Payload-Oxum itself"},
        {{"/archive", "/bag-info", missing},
         Action::Refuse,
         false,
         pattern,
         seconds,
         L"Dravolin.exe: /bag-info: cannot read " + WideFromUtf8(missing) + L": "},
    };
    for (const LineCase& c : cases) {
        std::vector<std::string> arguments = {"Dravolin.exe"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const Win32CommandLine line = ReadCommandLine(arguments, ::GetModuleHandleA(nullptr));
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.archive.on, c.archive);
        EXPECT_EQ(line.archive.pattern, c.pattern);
        EXPECT_EQ(line.archive.discSeconds, c.discSeconds);
        EXPECT_TRUE(line.text.starts_with(c.text)) << Utf8FromWide(line.text);
        if (c.action == Action::Refuse) {
            EXPECT_EQ(line.text.find(L'\n'), std::wstring::npos);
        }
    }
    const std::vector<std::string> fielded = {"Dravolin.exe", "/archive", "/bag-info", profile};
    EXPECT_EQ(ReadCommandLine(fielded, ::GetModuleHandleA(nullptr)).archive.bagInfo,
              (archive::InfoFields{{"Source-Organization", "City Archive"}}));
}

// The program itself: a line it refuses is shown, and the program ends with the usage status
// once the person has read it.
TEST(Win32CommandLine, DravolinExeShowsARefusedLineAndEndsWithTheUsageStatus) {
    const std::string exe = Env("DRAVOLIN_EXE");
    ASSERT_FALSE(exe.empty()) << "DRAVOLIN_EXE is not set";
    std::string commandLine = "\"" + WindowsPathOf(exe) + "\" /archive /frob";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &started));
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    HWND box = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        box = FindTopLevel([&](HWND window) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            return owner == started.dwProcessId && ::IsWindowVisible(window) &&
                   ClassOf(window) == "#32770";
        });
        return box != nullptr;
    }));
    EXPECT_NE(FindChildByText(box, "Dravolin.exe: unknown option /frob; see Dravolin.exe /?"),
              nullptr);
    EXPECT_EQ(::GetDlgItem(box, IDC_DRIVES), nullptr);  // no dialog was opened
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.Get(), &exitCode);
    EXPECT_EQ(exitCode, static_cast<DWORD>(kUsageExitStatus));
}

// Reports what a test tells it to; Publish names the bag by making its folder, as a real one
// would, or finds that someone took the name meanwhile.
class FakeWriting : public BagWriting {
  public:
    using Published = Win32BagWriter::Published;
    FakeWriting(BagOutcome built, std::vector<Published> publishes, std::wstring target,
                std::vector<BagRequest>& requests)
        : built_(std::move(built)),
          publishes_(std::move(publishes)),
          target_(std::move(target)),
          requests_(requests) {}
    BagOutcome Build(const BagRequest& request, BagProgress& progress) override {
        requests_.push_back(request);
        progress.OnProgress(0, 1, request.discRoot);
        return built_;
    }
    Published Publish(const std::wstring& name, unsigned long* error) override {
        const Published next = publishes_.empty() ? Published::Failed : publishes_.front();
        if (!publishes_.empty()) publishes_.erase(publishes_.begin());
        if (next != Published::Failed) fs::create_directory(fs::path(target_) / name);
        if (next == Published::Failed && error) *error = ERROR_DISK_FULL;
        return next;
    }

  private:
    BagOutcome built_;
    std::vector<Published> publishes_;
    std::wstring target_;
    std::vector<BagRequest>& requests_;
};

struct BagCase {
    const char* name;
    win32::BagOutcome built;
    std::vector<Win32BagWriter::Published> publishes;
    archive::DiscResult result;
    std::string folderName;
};

TEST(Win32Archiver, NamesTheBagByWhatTheWriterReportsAndTellsAFullTarget) {
    using Published = Win32BagWriter::Published;
    using archive::DiscResult;
    const auto built = [](BagResult result, bool cancelled = false, bool full = false) {
        win32::BagOutcome outcome;
        outcome.result = result;
        outcome.cancelled = cancelled;
        outcome.targetFull = full;
        outcome.files = 3;
        outcome.bytes = 4096;
        outcome.damagedFiles = result == BagResult::Incomplete ? 1 : 0;
        return outcome;
    };
    const std::vector<BagCase> cases = {
        {"complete", built(BagResult::Complete), {Published::Done}, DiscResult::Complete, "DATA"},
        {"damaged",
         built(BagResult::Incomplete),
         {Published::Done},
         DiscResult::Incomplete,
         "DATA (incomplete)"},
        {"its name taken meanwhile",
         built(BagResult::Complete),
         {Published::NameTaken, Published::Done},
         DiscResult::Complete,
         "DATA (2)"},
        {"the target full while copying",
         built(BagResult::Failed, false, true),
         {},
         DiscResult::TargetFull,
         ""},
        {"the target full while naming",
         built(BagResult::Complete),
         {Published::Failed},
         DiscResult::TargetFull,
         ""},
        {"cancelled", built(BagResult::Failed, true), {}, DiscResult::Failed, ""},
    };
    for (const BagCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFolder folder(L"dravolin-archiver-test");
        std::vector<BagRequest> requests;
        Win32Archiver archiver(Win32Archiver::Parts{
            [&] {
                return std::make_unique<FakeWriting>(c.built, c.publishes, folder.Wide(), requests);
            },
            nullptr});
        // As the dialog's combo box gives it.
        const std::unique_ptr<Archiver::Target> target = archiver.OpenTarget(folder.Ansi() + "\\");
        Archiver::Bag bag;
        bag.letter = 'C';
        bag.name = "DATA";
        bag.label = "DATA";
        bag.fingerprint = 0x2e0c1d44;
        bag.userFields = {{"Source-Organization", "City Archive"}};
        const Archiver::BagOutcome outcome = target->BuildBag(bag);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.folderName, c.folderName);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].discRoot, L"C:\\");
        EXPECT_EQ(requests[0].targetFolder, folder.Wide());
        EXPECT_EQ(requests[0].label, "DATA");
        // The user's fields before the program's own, which BagInfoFields puts after the
        // standard ones.
        ASSERT_GE(requests[0].fields.size(), 2u);
        EXPECT_EQ(requests[0].fields[0], bag.userFields[0]);
        EXPECT_EQ(requests[0].fields[1].first, "Dravolin-Drive");
        if (!c.folderName.empty()) {
            EXPECT_TRUE(target->NameTaken(c.folderName));
            EXPECT_EQ(outcome.files, 3u);
        }
    }
}

struct EndCase {
    const char* name;
    std::function<void(HWND window)> end;  // as a person ends the window
};

// The window lives on this thread, as on the dialog's; the copy runs on a worker until the
// window stops it, and the window goes once the worker lets go.
TEST(Win32ArchiveWindows, EveryWayAPersonEndsTheProgressWindowStopsTheCopy) {
    const std::vector<EndCase> cases = {
        {"its Cancel button",
         [](HWND window) { ::PostMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0); }},
        {"Escape",
         [](HWND window) {
             ::PostMessageW(::GetDlgItem(window, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 1);
         }},
        {"its close box", [](HWND window) { ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TemplateDialog owner;
        Win32ArchiveWindows windows(::GetModuleHandleA(nullptr));
        std::atomic<bool> stopped{false};
        std::atomic<bool> finished{false};
        std::thread worker([&, desk = windows.Desk()] {
            {
                const std::unique_ptr<ArchiveProgress> progress =
                    desk->OpenProgress(reinterpret_cast<WindowHandle>(owner.Get()), 'E', L"DATA");
                const auto deadline = std::chrono::steady_clock::now() + 20s;
                for (std::uint64_t done = 0; std::chrono::steady_clock::now() < deadline;
                     done += 2048) {
                    if (!progress->OnProgress(done % (1u << 30), 1u << 30, L"E:\\docs\\a.txt")) {
                        stopped = true;
                        break;
                    }
                    std::this_thread::yield();
                }
            }
            finished = true;
        });
        HWND window = nullptr;
        EXPECT_TRUE(WaitUntil([&] {
            return (window = FindOwnedWindow(::GetCurrentThreadId(), owner.Get(), "#32770")) !=
                   nullptr;
        }));
        if (window) {
            EXPECT_EQ(TextOf(::GetDlgItem(window, IDC_PROGRESS_DISC)), "Drive E: DATA");
            EXPECT_TRUE(WaitUntil([&] {
                return TextOf(::GetDlgItem(window, IDC_PROGRESS_FILE)) == "E:\\docs\\a.txt";
            }));
            EXPECT_FALSE(stopped.load());
            c.end(window);
        }
        EXPECT_TRUE(WaitUntil([&] { return finished.load(); }));
        EXPECT_TRUE(stopped.load());
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(window); }));
        worker.join();
    }
}

}  // namespace
}  // namespace dravolin::win32::test
