#include "platform/win32/Win32CommandLine.h"

#include "archive/UserFields.h"
#include "engine/ArchiveCommandLine.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Texts.h"
#include "platform/win32/archive/BagCopy.h"
#include "platform/win32/archive/WideText.h"
#include "platform/win32/res/Win32Resource.h"

namespace dravolin::win32 {

namespace {

using Problem = ArchiveArguments::Problem;

constexpr const wchar_t* kProgram = L"Dravolin.exe";

// "/archive" is "--archive", "/?" is "--help"; anything else stays as it was typed.
std::string PortableSpelling(const std::string& argument) {
    if (argument == "/?") return "--help";
    if (argument.size() > 1 && argument[0] == '/') return "--" + argument.substr(1);
    return argument;
}

// A refused option named as the user typed it: "/nmae" stays "/nmae" rather than "--nmae".
std::string AsTyped(const std::string& subject, std::span<const std::string> arguments) {
    if (!subject.starts_with("--")) return subject;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string portable = PortableSpelling(arguments[i]);
        const bool same = portable == subject || portable.starts_with(subject + "=");
        if (same && arguments[i].starts_with('/')) return "/" + subject.substr(2);
    }
    return subject;
}

UINT TextOf(Problem problem) {
    switch (problem) {
        case Problem::NeedsValue:
            return IDS_CMD_NEEDS_VALUE;
        case Problem::TakesNoValue:
            return IDS_CMD_TAKES_NO_VALUE;
        case Problem::UnknownOption:
            return IDS_CMD_UNKNOWN_OPTION;
        case Problem::UnexpectedArgument:
            return IDS_CMD_UNEXPECTED_ARGUMENT;
        case Problem::NeedsArchive:
            return IDS_CMD_NEEDS_ARCHIVE;
        case Problem::DiscTime:
            return IDS_CMD_DISC_TIME;
        case Problem::UnknownField:
            return IDS_CMD_UNKNOWN_FIELD;
        case Problem::UnclosedBrace:
            return IDS_CMD_UNCLOSED_BRACE;
        case Problem::StrayClosingBrace:
            return IDS_CMD_STRAY_BRACE;
        case Problem::BagInfoUnreadable:
            return IDS_CMD_BAG_INFO_UNREADABLE;
        case Problem::BagInfoTooLarge:
            return IDS_CMD_BAG_INFO_TOO_LARGE;
        case Problem::BagInfoNotText:
            return IDS_CMD_BAG_INFO_NOT_TEXT;
        case Problem::BagInfoNotAField:
            return IDS_CMD_BAG_INFO_NOT_A_FIELD;
        case Problem::BagInfoOwnLabel:
            return IDS_CMD_BAG_INFO_OWN_LABEL;
        case Problem::None:
        case Problem::MissingOperand:  // the archiver's alone
        case Problem::Keep:            // an option of the builds that read images
            break;
    }
    return 0;
}

std::wstring Number(std::uint64_t value) {
    return std::to_wstring(value);
}

// --bag-info's FILE, read whole before the dialog opens: its fields, or why not.
ArchiveArguments ReadBagInfoFile(ArchiveArguments line) {
    if (line.action != ArchiveArguments::Action::Run || line.bagInfoFile.empty()) return line;
    const UniqueHandle file(::CreateFileW(WideFromUtf8(line.bagInfoFile).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return RefuseBagInfo(line, ErrorWords(::GetLastError()));
    // One byte past the limit tells a file too large without reading it all.
    std::string text(archive::kMaxUserFieldsBytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        DWORD done = 0;
        if (!::ReadFile(file.Get(), text.data() + got, static_cast<DWORD>(text.size() - got), &done,
                        nullptr)) {
            return RefuseBagInfo(line, ErrorWords(::GetLastError()));
        }
        if (done == 0) break;
        got += done;
    }
    text.resize(got);
    return TakeBagInfo(std::move(line), text);
}

// The refusal's words: the option's own texts take the option and the program; those of
// --bag-info's file take the file, where in it, and what.
std::wstring WhyRefused(const ArchiveArguments& read, std::span<const std::string> arguments,
                        HINSTANCE resources) {
    const std::wstring text = LoadWideString(resources, TextOf(read.problem));
    switch (read.problem) {
        case Problem::DiscTime:
            return FillIn(text, {Number(kMaxDiscMinutes), WideFromUtf8(read.subject)});
        case Problem::BagInfoUnreadable:
            return FillIn(text, {WideFromUtf8(read.subject), WideFromUtf8(read.detail)});
        case Problem::BagInfoTooLarge:
            return FillIn(
                text, {WideFromUtf8(read.subject), Number(archive::kMaxUserFieldsBytes / 1024)});
        case Problem::BagInfoNotText:
        case Problem::BagInfoNotAField:
        case Problem::BagInfoOwnLabel:
            return FillIn(
                text, {WideFromUtf8(read.subject), Number(read.line), WideFromUtf8(read.detail)});
        default:
            return FillIn(text, {WideFromUtf8(AsTyped(read.subject, arguments)), kProgram});
    }
}

}  // namespace

std::vector<std::string> ProcessArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (words == nullptr) return {"Dravolin.exe"};
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(words[i]));
    ::LocalFree(words);
    return arguments;
}

Win32CommandLine ReadCommandLine(std::span<const std::string> arguments, HINSTANCE resources) {
    std::vector<std::string> portable;
    portable.reserve(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        portable.push_back(i == 0 ? arguments[i] : PortableSpelling(arguments[i]));
    }
    const ArchiveArguments read =
        ReadBagInfoFile(ReadArchiveArguments(portable, ArchiveProgram::Dialog, false));
    switch (read.action) {
        case ArchiveArguments::Action::Run:
            return {Win32CommandLine::Action::Run, read.archive, {}};
        case ArchiveArguments::Action::Help:
            return {Win32CommandLine::Action::Tell,
                    {},
                    FillIn(LoadWideString(resources, IDS_CMD_HELP),
                           {WideFromUtf8(archive::kDefaultPattern),
                            Number(ArchiveOptions{}.discSeconds / 60), Number(kMaxDiscMinutes)})};
        case ArchiveArguments::Action::Version:
            return {Win32CommandLine::Action::Tell, {}, L"Dravolin " DRAVOLIN_VERSION_WIDE};
        case ArchiveArguments::Action::Refuse:
            break;
    }
    return {Win32CommandLine::Action::Refuse,
            {},
            std::wstring(kProgram) + L": " + WhyRefused(read, arguments, resources)};
}

int ShowCommandLineText(const Win32CommandLine& line) {
    const bool refused = line.action == Win32CommandLine::Action::Refuse;
    ::MessageBoxW(nullptr, line.text.c_str(), L"Dravolin",
                  MB_OK | (refused ? MB_ICONERROR : MB_ICONINFORMATION));
    return refused ? kUsageExitStatus : 0;
}

}  // namespace dravolin::win32
