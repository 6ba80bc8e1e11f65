#include "platform/linux/archive/BagText.h"

namespace dravolin::lnx {

namespace {

std::string OneLine(std::string_view text, bool label) {
    std::string line;
    for (const char c : text) {
        if (c == '\r' || c == '\n' || (label && c == ':')) {
            line += ' ';
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

std::string ManifestPath(std::string_view relative) {
    std::string path = "data/";
    for (const char c : relative) {
        if (c == '\r') {
            path += "%0D";
        } else if (c == '\n') {
            path += "%0A";
        } else if (c == '%') {
            path += "%25";
        } else {
            path += c;
        }
    }
    return path;
}

std::string BagDeclaration() {
    return "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n";
}

std::string PayloadManifest(const std::vector<ArchivedFile>& files) {
    std::string text;
    for (const ArchivedFile& file : files) {
        text += file.sha256 + "  " + ManifestPath(file.path) + "\n";
    }
    return text;
}

std::string DamagedFilesText(const std::vector<ArchivedFile>& files,
                             const std::vector<UnreadEntry>& unread) {
    std::string text;
    for (const ArchivedFile& file : files) {
        for (const ByteRange& range : file.damaged) {
            text += ManifestPath(file.path) + " " + std::to_string(range.begin) + "-" +
                    std::to_string(range.end) + "\n";
        }
    }
    for (const UnreadEntry& entry : unread) {
        // The reason is the system's sentence: kept on the entry's one line.
        std::string reason = entry.reason;
        for (char& c : reason) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        text += ManifestPath(entry.path) + " not copied: " + reason + "\n";
    }
    return text;
}

std::string PayloadOxum(const std::vector<ArchivedFile>& files) {
    std::uint64_t bytes = 0;
    for (const ArchivedFile& file : files) bytes += file.size;
    return std::to_string(bytes) + "." + std::to_string(files.size());
}

std::string BagInfo(const BagFields& fields) {
    std::string text;
    for (const auto& [label, value] : fields) {
        text += OneLine(label, true) + ": " + OneLine(value, false) + "\n";
    }
    return text;
}

std::string BaggingDate(std::time_t when) {
    std::tm local{};
    char text[16] = {};
    if (::localtime_r(&when, &local)) std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::string LocalTimestamp(std::time_t when) {
    std::tm local{};
    char text[40] = {};
    if (::localtime_r(&when, &local))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

}  // namespace dravolin::lnx
