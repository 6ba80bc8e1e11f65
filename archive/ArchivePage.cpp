#include "archive/ArchivePage.h"
#include <algorithm>
#include <map>
#include <optional>
#include "archive/ArchiveLog.h"
#include "archive/BagCheck.h"
#include "archive/BagText.h"
#include "archive/MapPicture.h"
#include "archive/PageHtml.h"
#include "archive/PageScript.h"
#include "archive/RescueMap.h"
#include "archive/SameDisc.h"
#include "archive/Utf8Names.h"

namespace dravolin::archive {

namespace {

struct LastCheck {
    std::string word;
    std::string time;
};

// Each bag's verdict in the newest report that names it; the names of reports that were changed
// after they were written, whose verdicts count for nothing.
std::map<std::string, LastCheck> LastChecks(
    std::vector<PageReport> reports, std::vector<std::string>& altered,
    const std::function<std::string(std::string_view)>& sha256) {
    std::sort(reports.begin(), reports.end(),
              [](const PageReport& a, const PageReport& b) { return a.name > b.name; });
    std::map<std::string, LastCheck> last;
    for (const PageReport& report : reports) {
        const std::string time = ReportTime(report.name);
        if (time.empty()) continue;
        const auto bags = ParseReport(report.text, sha256);
        if (!bags) {
            altered.push_back(report.name);
            continue;
        }
        for (const ReportedBag& bag : *bags) last.try_emplace(bag.name, LastCheck{bag.word, time});
    }
    return last;
}

const std::string& ResultText(DiscResult result, const PageTexts& texts) {
    switch (result) {
        case DiscResult::Complete:
            return texts.complete;
        case DiscResult::Incomplete:
            return texts.incomplete;
        case DiscResult::NoFileSystem:
            return texts.unreadable;
        case DiscResult::AlreadyArchived:
            return texts.alreadyArchived;
        case DiscResult::TargetFull:
            return texts.targetFull;
        case DiscResult::Failed:
            break;
    }
    return texts.failed;
}

// The check's word in the page's language; the report's own word where it is not one of ours.
std::string VerdictText(const std::string& word, const PageTexts& texts) {
    const std::string* words[] = {&texts.valid, &texts.changed, &texts.missingFiles,
                                  &texts.extraFiles, &texts.unreadableBag};
    for (int verdict = 0; verdict < 5; ++verdict) {
        if (word == VerdictWord(static_cast<BagVerdict>(verdict))) return *words[verdict];
    }
    return word;
}

// "valid" -> "valid", "missing files" -> "missing-files": a class name.
std::string ClassName(std::string_view word) {
    std::string name(word);
    std::replace(name.begin(), name.end(), ' ', '-');
    return name;
}

std::string SizeText(std::uint64_t bytes, const PageTexts& texts) {
    std::vector<std::string> units;
    for (std::size_t at = 0; at <= texts.byteUnits.size();) {
        const std::size_t comma = std::min(texts.byteUnits.find(',', at), texts.byteUnits.size());
        units.push_back(texts.byteUnits.substr(at, comma - at));
        at = comma + 1;
    }
    std::size_t unit = 0;
    std::uint64_t whole = bytes, scale = 1;
    while (whole >= 1024 && unit + 1 < units.size()) {
        whole /= 1024;
        scale *= 1024;
        ++unit;
    }
    if (unit == 0) return std::to_string(bytes) + "\u00a0" + units[0];
    const auto tenths = static_cast<std::uint64_t>(static_cast<long double>(bytes) * 10 /
                                                   static_cast<long double>(scale));
    return std::to_string(tenths / 10) + (texts.language == "ru" ? "," : ".") +
           std::to_string(tenths % 10) + "\u00a0" + units[unit];
}

std::vector<std::string_view> DiscHeads(const PageTexts& texts) {
    return {texts.result, texts.label,   texts.date, texts.drive,    texts.files,
            texts.size,   texts.damaged, texts.bag,  texts.verified, texts.map};
}

// "2026-12-08T14:03:11+01:00" -> "2026-12-08 14:03".
std::string DateOf(const std::string& iso) {
    return iso.size() >= 16 && iso[10] == 'T' ? iso.substr(0, 10) + " " + iso.substr(11, 5) : iso;
}

// Why the bag's copy ended early, as its bag-info.txt says; empty when it did not.
std::string WhyStopped(std::string_view bagInfo, const PageTexts& texts) {
    for (const auto& [label, value] : ParseBagInfo(bagInfo)) {
        if (label != kFieldStopped) continue;
        return "<br><small>" +
               HtmlText(value.starts_with("the disc's time budget") ? texts.stoppedByTime
                                                                    : texts.stoppedByFullTarget) +
               "</small>";
    }
    return {};
}

struct Disc {
    LogRow row;
    const PageBag* bag = nullptr;  // null when the folder holds no bag of the row
};

std::string DiscRow(const Disc& disc, const std::map<std::string, LastCheck>& checks,
                    const PageTexts& texts) {
    const LogRow& row = disc.row;
    const std::string word(ResultWord(row.result));
    std::string html = disc.bag ? "<tr data-bag=\"" + HtmlText(disc.bag->folder) + "\">" : "<tr>";
    // Each cell names its column too, for the narrow page where a row is shown as a card.
    const std::vector<std::string_view> heads = DiscHeads(texts);
    std::size_t column = 0;
    const auto cell = [&](std::string_view content, std::string_view cls = {}) {
        html += "<td" + (cls.empty() ? std::string() : " class=\"" + std::string(cls) + "\"") +
                " data-label=\"" + HtmlText(heads[column++]) + "\">" + std::string(content) +
                "</td>";
    };
    cell("<span class=\"result " + ClassName(word) + "\">" +
         HtmlText(ResultText(row.result, texts)) + "</span>" +
         (disc.bag ? WhyStopped(disc.bag->bagInfo, texts) : ""));
    cell(HtmlText(row.label));
    cell(
        "<time datetime=\"" + HtmlText(row.start) + "\">" + HtmlText(DateOf(row.start)) + "</time>",
        "date");
    cell(row.drive.empty() ? "" : HtmlText(row.drive) + ":");
    const bool bagged = row.result == DiscResult::Complete || row.result == DiscResult::Incomplete;
    cell(bagged ? std::to_string(row.files) : "", "number");
    cell(bagged ? "<span title=\"" + std::to_string(row.bytes) + "\">" +
                      SizeText(row.bytes, texts) + "</span>"
                : "",
         "number");
    const std::string href = disc.bag ? LinkPath(disc.bag->folder) + "/" : "";
    if (bagged && row.damagedFiles > 0 && disc.bag) {
        cell("<a href=\"" + href + "damaged-files.txt\">" + std::to_string(row.damagedFiles) +
                 "</a>",
             "number");
    } else {
        cell(bagged ? std::to_string(row.damagedFiles) : "", "number");
    }
    if (disc.bag) {
        cell("<a href=\"" + href + "\">" + HtmlText(disc.bag->folder) + "</a>");
        const auto check = checks.find(disc.bag->folder);
        cell(
            check == checks.end()
                ? "<span class=\"verify none\">" + HtmlText(texts.notChecked) + "</span>"
                : "<span class=\"verify " + ClassName(check->second.word) + "\">" +
                      Filled(HtmlText(texts.checkedOn),
                             {HtmlText(VerdictText(check->second.word, texts)),
                              "<span class=\"when\">" + HtmlText(check->second.time) + "</span>"}) +
                      "</span>");
        const std::optional<ParsedMap> map =
            disc.bag->map.empty() ? std::nullopt : ParseMapText(disc.bag->map);
        cell(map ? MapPicture(map->map, texts) : "", "map");
    } else {
        cell(row.bagFolder.empty()
                 ? ""
                 : HtmlText(row.bagFolder) + " <small>(" + HtmlText(texts.noBag) + ")</small>");
        cell("");
        cell("");
    }
    return html + "</tr>\n";
}

// The search's data: each bag (label, folder, link) and each of its files (bag, path, size,
// and the link where the path is not UTF-8 and so is not its own).
std::string SearchData(const std::vector<Disc>& discs, const PageTexts& texts) {
    std::string bags, files;
    std::size_t index = 0;
    for (const Disc& disc : discs) {
        if (!disc.bag) continue;
        if (!bags.empty()) bags += ",";
        bags += "{\"label\":" + JsonString(disc.row.label) +
                ",\"bag\":" + JsonString(disc.bag->folder) +
                ",\"href\":" + JsonString(LinkPath(disc.bag->folder) + "/data/") + "}";
        for (const PageFile& file : disc.bag->files) {
            if (!files.empty()) files += ",\n";
            // Appended piece by piece: GCC 12 at -O3 takes a "[" + std::string for an overlap.
            files += '[';
            files += std::to_string(index);
            files += ',';
            files += JsonString(file.path);
            files += ',';
            files += std::to_string(file.size);
            if (!IsUtf8(file.path)) {
                files += ',';
                files += JsonString(LinkPath(file.path));
            }
            files += ']';
        }
        ++index;
    }
    return "{\"lang\":" + JsonString(texts.language) + ",\"units\":" + JsonString(texts.byteUnits) +
           ",\"found\":" + JsonString(texts.found) +
           ",\"foundMore\":" + JsonString(texts.foundMore) + ",\"bags\":[" + bags +
           "],\"files\":[\n" + files + "]}";
}

std::string Head(const std::vector<std::string_view>& names) {
    std::string html = "<thead><tr>";
    for (std::string_view name : names) html += "<th scope=\"col\">" + HtmlText(name) + "</th>";
    return html + "</tr></thead>";
}

}  // namespace

std::string ArchivePage(const PageTexts& texts, const PageSources& sources,
                        const std::function<std::string(std::string_view)>& sha256) {
    std::vector<std::string> altered;
    const std::map<std::string, LastCheck> checks = LastChecks(sources.reports, altered, sha256);

    std::map<std::string, const PageBag*> bags;
    for (const PageBag& bag : sources.bags) bags.emplace(bag.folder, &bag);
    std::vector<Disc> discs;
    std::map<std::string, bool> rowed;
    for (LogRow& row : ParseLog(sources.log)) {
        const auto bag = row.bagFolder.empty() ? bags.end() : bags.find(row.bagFolder);
        // A read on from an earlier bag replaced it: the newest row of a folder owns its bag.
        discs.push_back({std::move(row), bag == bags.end() ? nullptr : bag->second});
    }
    std::reverse(discs.begin(), discs.end());
    for (Disc& disc : discs) {
        if (disc.bag && !rowed.emplace(disc.bag->folder, true).second) disc.bag = nullptr;
    }
    for (const PageBag& bag : sources.bags) {
        if (rowed.contains(bag.folder)) continue;
        if (std::optional<LogRow> row = RowOfBag(bag.folder, bag.bagInfo)) {
            discs.push_back({std::move(*row), &bag});
        }
    }
    std::stable_sort(discs.begin(), discs.end(),
                     [](const Disc& a, const Disc& b) { return a.row.start > b.row.start; });

    std::size_t complete = 0, incomplete = 0;
    std::string rows;
    for (const Disc& disc : discs) {
        complete += disc.row.result == DiscResult::Complete;
        incomplete += disc.row.result == DiscResult::Incomplete;
        rows += DiscRow(disc, checks, texts);
    }

    std::string html =
        "<!DOCTYPE html>\n<html lang=\"" + HtmlText(texts.language) +
        "\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<link rel=\"icon\" href=\"data:,\">\n<title>" +
        HtmlText(texts.title) + "</title>\n<style>\n" + std::string(PageStyle()) +
        "</style>\n</head>\n<body>\n<main>\n<h1>" + HtmlText(texts.title) + "</h1>\n<p>" +
        HtmlText(Filled(texts.counts, {std::to_string(discs.size()), std::to_string(complete),
                                       std::to_string(incomplete),
                                       std::to_string(discs.size() - complete - incomplete)})) +
        " " + HtmlText(Filled(texts.written, {DateOf(IsoText(sources.written))})) + "</p>\n";
    for (const std::string& name : altered) {
        html += "<p class=\"alert\" role=\"alert\">" +
                HtmlText(Filled(texts.reportAltered, {name})) + "</p>\n";
    }
    html += "<div class=\"search\"><label for=\"search\">" + HtmlText(texts.searchLabel) +
            "</label> <input id=\"search\" type=\"search\" autocomplete=\"off\" "
            "spellcheck=\"false\"></div>\n<p id=\"found-count\" aria-live=\"polite\"></p>\n"
            "<div class=\"scroll\"><table id=\"found\" hidden>" +
            Head({texts.file, texts.disc, texts.bag, texts.size}) +
            "<tbody></tbody></table></div>\n";
    if (discs.empty()) html += "<p>" + HtmlText(texts.empty) + "</p>\n";
    // A region of its own, so that the keyboard can scroll a table wider than the window.
    html += "<div class=\"scroll\" tabindex=\"0\" role=\"region\" aria-label=\"" +
            HtmlText(texts.title) + "\"><table id=\"discs\">" + Head(DiscHeads(texts)) +
            "<tbody>\n" + rows + "</tbody></table></div>\n";
    html += "<script type=\"application/json\" id=\"files\">" + SearchData(discs, texts) +
            "</script>\n<script>\n" + std::string(PageScript()) +
            "</script>\n</main>\n</body>\n</html>\n";
    return html;
}

}  // namespace dravolin::archive
