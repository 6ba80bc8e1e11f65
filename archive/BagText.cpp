#include "archive/BagText.h"

#include <cstdio>
#include <cstdlib>

namespace dravolin::archive {

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

std::string BagInfo(const InfoFields& fields) {
    std::string text;
    for (const auto& [label, value] : fields) {
        text += OneLine(label, true) + ": " + OneLine(value, false) + "\n";
    }
    return text;
}

std::string BagTimestamp(const LocalTime& time) {
    const long offset = std::labs(static_cast<long>(time.offsetMinutes));
    char text[48] = {};
    std::snprintf(text, sizeof text, "T%02d:%02d:%02d%c%02ld%02ld", time.hour, time.minute,
                  time.second, time.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return DateText(time) + text;
}

std::uint64_t DamagedCount(const std::vector<ArchivedFile>& files,
                           const std::vector<UnreadEntry>& unread) {
    std::uint64_t count = unread.size();
    for (const ArchivedFile& file : files) {
        if (!file.damaged.empty()) ++count;
    }
    return count;
}

InfoFields BagInfoFields(std::string_view label, const InfoFields& callers,
                         const std::vector<ArchivedFile>& files,
                         const std::vector<UnreadEntry>& unread, const BagEnd& end) {
    const std::uint64_t damaged = DamagedCount(files, unread);
    const bool incomplete = damaged > 0 || end.budgetSpent || end.targetFull;
    InfoFields info = {{"Bagging-Date", DateText(end.ended)},
                       {"Payload-Oxum", PayloadOxum(files)},
                       {"External-Identifier", std::string(label)}};
    info.insert(info.end(), callers.begin(), callers.end());
    info.emplace_back(kFieldResult, incomplete ? "incomplete" : "complete");
    info.emplace_back(kFieldDamagedFiles, std::to_string(damaged));
    if (end.budgetSpent) {
        info.emplace_back(kFieldStopped,
                          "the disc's time budget was spent; the files not in the manifest "
                          "were not copied");
    } else if (end.targetFull) {
        info.emplace_back(kFieldStopped,
                          "the target disk was full; the files not in the manifest were not "
                          "copied");
    }
    if (!end.notCopied.empty()) info.emplace_back(kFieldNotCopied, end.notCopied);
    info.insert(info.end(), end.notes.begin(), end.notes.end());
    info.emplace_back(kFieldEnded, BagTimestamp(end.ended));
    return info;
}

std::vector<TagFile> TagFiles(const std::vector<ArchivedFile>& files,
                              const std::vector<UnreadEntry>& unread, const InfoFields& info,
                              const std::function<std::string(std::string_view)>& sha256) {
    std::vector<TagFile> tags = {{"bagit.txt", BagDeclaration()},
                                 {"manifest-sha256.txt", PayloadManifest(files)},
                                 {"bag-info.txt", BagInfo(info)}};
    if (DamagedCount(files, unread) > 0) {
        tags.emplace_back("damaged-files.txt", DamagedFilesText(files, unread));
    }
    std::string tagManifest;
    for (const auto& [name, text] : tags) tagManifest += sha256(text) + "  " + name + "\n";
    tags.emplace_back("tagmanifest-sha256.txt", std::move(tagManifest));
    return tags;
}

}  // namespace dravolin::archive
