#include "archive/BagCheck.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include "archive/BagText.h"

namespace dravolin::archive {

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A name on one line of the report: a manifest's encoding, without its folder.
std::string OnOneLine(std::string_view name) {
    return ManifestPath(name, "").substr(1);
}

}  // namespace

std::string DecodeManifestPath(std::string_view path) {
    std::string decoded;
    for (std::size_t at = 0; at < path.size(); ++at) {
        if (path[at] == '%' && at + 2 < path.size()) {
            const std::string_view code = path.substr(at + 1, 2);
            const auto is = [&](std::string_view upper) {
                return std::equal(code.begin(), code.end(), upper.begin(), [](char a, char b) {
                    return (a >= 'a' && a <= 'z' ? a - 32 : a) == b;
                });
            };
            const char c = is("25") ? '%' : is("0A") ? '\n' : is("0D") ? '\r' : '\0';
            if (c != '\0') {
                decoded += c;
                at += 2;
                continue;
            }
        }
        decoded += path[at];
    }
    return decoded;
}

std::optional<std::vector<ManifestLine>> ParseManifest(std::string_view text) {
    std::vector<ManifestLine> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const std::size_t blank = line.find_first_of(" \t");
        if (blank != 64 || !std::all_of(line.begin(), line.begin() + 64, IsHex))
            return std::nullopt;
        const std::size_t path = line.find_first_not_of(" \t", blank);
        // `sha256sum` marks a binary read with '*' before the path.
        std::size_t start = path;
        if (start != std::string_view::npos && line[start] == '*') ++start;
        if (start == std::string_view::npos || start >= line.size()) return std::nullopt;
        std::string digest(line.substr(0, 64));
        std::transform(digest.begin(), digest.end(), digest.begin(),
                       [](char c) { return c >= 'A' && c <= 'F' ? char(c + 32) : c; });
        lines.push_back({std::move(digest), DecodeManifestPath(line.substr(start))});
    }
    return lines;
}

BagVerdict VerdictOf(const BagFindings& findings) {
    if (!findings.unreadable.empty()) return BagVerdict::Unreadable;
    // A file lost or gained changes the Payload-Oxum too: that is told as what it is.
    const bool oxumAlone =
        findings.oxumDiffers && findings.missing.empty() && findings.extra.empty();
    if (!findings.changed.empty() || oxumAlone) return BagVerdict::Changed;
    if (!findings.missing.empty()) return BagVerdict::MissingFiles;
    if (!findings.extra.empty()) return BagVerdict::ExtraFiles;
    return BagVerdict::Valid;
}

std::string_view VerdictWord(BagVerdict verdict) {
    switch (verdict) {
        case BagVerdict::Valid:
            return "valid";
        case BagVerdict::Changed:
            return "changed";
        case BagVerdict::MissingFiles:
            return "missing files";
        case BagVerdict::ExtraFiles:
            return "extra files";
        case BagVerdict::Unreadable:
            return "unreadable";
    }
    return "unreadable";
}

std::optional<Oxum> ParseOxum(std::string_view value) {
    const std::size_t dot = value.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == value.size()) return std::nullopt;
    Oxum oxum;
    const char* end = value.data() + dot;
    if (std::from_chars(value.data(), end, oxum.bytes).ptr != end) return std::nullopt;
    const char* last = value.data() + value.size();
    if (std::from_chars(end + 1, last, oxum.files).ptr != last) return std::nullopt;
    return oxum;
}

std::string ReportText(std::string_view heading, const std::vector<CheckedBag>& bags,
                       const std::function<std::string(std::string_view)>& sha256) {
    std::string text(heading);
    for (const CheckedBag& bag : bags) {
        const BagFindings& found = bag.findings;
        text += std::string(VerdictWord(VerdictOf(found))) + "\t" + OnOneLine(bag.name) + "\n";
        if (!found.unreadable.empty())
            text += "\tunreadable\t" + OnOneLine(found.unreadable) + "\n";
        if (found.oxumDiffers) text += "\tchanged\tPayload-Oxum\n";
        for (const auto& [word, names] :
             {std::pair{"changed", &found.changed}, std::pair{"missing", &found.missing},
              std::pair{"extra", &found.extra}}) {
            for (const std::string& name : *names) {
                text += std::string("\t") + word + "\t" + OnOneLine(name) + "\n";
            }
        }
    }
    return text + sha256(text) + "\n";
}

std::string ReportName(const LocalTime& begun) {
    char name[64];
    std::snprintf(name, sizeof name, "verify %04d-%02d-%02d %02d%02d%02d.txt", begun.year,
                  begun.month, begun.day, begun.hour, begun.minute, begun.second);
    return name;
}

std::string ReportTime(std::string_view name) {
    // "verify " YYYY-MM-DD " " HHMMSS ".txt"
    constexpr std::string_view kStart = "verify ", kEnd = ".txt";
    if (name.size() != kStart.size() + 17 + kEnd.size() || !name.starts_with(kStart) ||
        !name.ends_with(kEnd)) {
        return {};
    }
    const std::string_view date = name.substr(kStart.size(), 10),
                           time = name.substr(kStart.size() + 11, 6);
    for (std::size_t at = 0; at < date.size(); ++at) {
        if ((at == 4 || at == 7) != (date[at] == '-') ||
            (at != 4 && at != 7 && !std::isdigit(static_cast<unsigned char>(date[at])))) {
            return {};
        }
    }
    if (name[kStart.size() + 10] != ' ' || !std::all_of(time.begin(), time.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return {};
    }
    return std::string(date) + " " + std::string(time.substr(0, 2)) + ":" +
           std::string(time.substr(2, 2)) + ":" + std::string(time.substr(4, 2));
}

std::optional<std::vector<ReportedBag>> ParseReport(
    std::string_view text, const std::function<std::string(std::string_view)>& sha256) {
    if (!text.ends_with('\n')) return std::nullopt;
    const std::size_t last = text.rfind('\n', text.size() - 2) + 1;  // npos + 1 is 0
    const std::string_view lines = text.substr(0, last);
    if (text.substr(last, text.size() - 1 - last) != sha256(lines)) return std::nullopt;
    std::vector<ReportedBag> bags;
    for (std::size_t at = 0; at < lines.size();) {
        const std::size_t end = lines.find('\n', at);
        const std::string_view line = lines.substr(at, end - at);
        at = end + 1;
        const std::size_t tab = line.find('\t');
        if (line.empty() || line.front() == '#' || tab == 0 || tab == std::string_view::npos)
            continue;
        bags.push_back(
            {DecodeManifestPath(line.substr(tab + 1)), std::string(line.substr(0, tab))});
    }
    return bags;
}

}  // namespace dravolin::archive
