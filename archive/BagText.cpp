#include "archive/BagText.h"

#include "archive/AudioDisc.h"
#include "archive/Utf8Names.h"

namespace dravolin::archive {

namespace {

std::string OneLine(std::string_view text, bool label) {
    std::string line;
    for (const char c : ValidUtf8(text)) {
        if (c == '\r' || c == '\n' || (label && c == ':')) {
            line += ' ';
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

std::string ManifestPath(std::string_view relative, std::string_view folder) {
    // RFC 8493 decodes every %XX, bagit-python only %0A and %0D, `sha256sum -c` none: a '%'
    // is left as it is unless two hexadecimal digits follow, where the readers part ways.
    // Bytes that are not UTF-8 are encoded too, so the line stays UTF-8 and the name can be
    // recovered exactly.
    const auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    const auto encode = [](std::string& path, unsigned char c) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        path += '%';
        path += kDigits[c >> 4];
        path += kDigits[c & 0x0F];
    };
    std::string path = std::string(folder) + "/";
    for (std::size_t at = 0; at < relative.size();) {
        const char c = relative[at];
        const std::size_t length = Utf8SequenceAt(relative, at);
        const bool escaped =
            c == '%' && at + 2 < relative.size() && hex(relative[at + 1]) && hex(relative[at + 2]);
        if (length == 0 || c == '\r' || c == '\n' || escaped) {
            encode(path, static_cast<unsigned char>(c));
            ++at;
        } else {
            path += relative.substr(at, length);
            at += length;
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
        text += file.sha256 + "  " + ManifestPath(file.path, file.folder) + "\n";
    }
    return text;
}

std::string DamagedFilesText(const std::vector<ArchivedFile>& files,
                             const std::vector<UnreadEntry>& unread) {
    std::string text;
    for (const ArchivedFile& file : files) {
        const bool audio = file.folder == std::string_view(kAudioFolder);
        for (const ByteRange& range : file.damaged) {
            text += ManifestPath(file.path, file.folder) + " ";
            // A track's damage is in its own terms: where it is heard, and its samples.
            if (audio) text += TrackTime(range.begin) + "-" + TrackTime(range.end) + " samples ";
            text += std::to_string(range.begin) + "-" + std::to_string(range.end) + "\n";
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

InfoFields ParseBagInfo(std::string_view text) {
    InfoFields fields;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos) continue;
        fields.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
    return fields;
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
    const bool incomplete =
        damaged > 0 || end.budgetSpent || end.targetFull || !end.filesNotTaken.empty();
    InfoFields info = {{"Bagging-Date", DateText(end.ended)},
                       {"Payload-Oxum", PayloadOxum(files)},
                       {"External-Identifier", std::string(label)}};
    info.insert(info.end(), callers.begin(), callers.end());
    info.emplace_back(kFieldResult, incomplete ? "incomplete" : "complete");
    info.emplace_back(kFieldDamagedFiles, std::to_string(damaged));
    if (end.imageCut && end.budgetSpent) {
        info.emplace_back(kFieldStopped,
                          "the disc's time budget was spent before the whole disc was read; "
                          "the image's map says which sectors were not");
    } else if (end.imageCut && end.targetFull) {
        info.emplace_back(kFieldStopped,
                          "the target disk was full before the whole disc was read; the image "
                          "holds what fit, its map says which sectors, and no files were taken "
                          "out of it");
    } else if (end.budgetSpent) {
        info.emplace_back(kFieldStopped,
                          "the disc's time budget was spent; the files not in the manifest "
                          "were not copied");
    } else if (end.targetFull) {
        info.emplace_back(kFieldStopped,
                          "the target disk was full; the files not in the manifest were not "
                          "copied");
    }
    if (!end.filesNotTaken.empty()) {
        info.emplace_back(kFieldStopped,
                          "the disc's files were not taken out of its image: " + end.filesNotTaken);
    }
    if (!end.notCopied.empty()) info.emplace_back(kFieldNotCopied, end.notCopied);
    info.insert(info.end(), end.notes.begin(), end.notes.end());
    info.emplace_back(kFieldEnded, IsoText(end.ended));
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
