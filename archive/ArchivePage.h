#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include "archive/LocalTime.h"
#include "archive/PageTexts.h"

namespace dravolin::archive {

// index.html in the target folder: the archive at a glance for a browser opened on the file,
// with no server and no network. One row per disc of the log (newest first) and per bag whose
// row the log lost: its result as a word on a colour, label, date, drive, files, size, damaged
// files, the bag as a link, the last check's verdict, and the picture of its rescue map; above
// them a search over the name of every file of every bag. Everything is in the one file.
inline constexpr char kPageFileName[] = "index.html";

// A file of a bag: its path below the bag's data folder ("files/docs/a.txt"), as stored.
struct PageFile {
    std::string path;
    std::uint64_t size = 0;
};
// What the page shows of one bag of the folder beyond its log row.
struct PageBag {
    std::string folder;
    std::string bagInfo;  // bag-info.txt
    std::vector<PageFile> files;
    std::string map;  // the text of its rescue map; empty when it holds none
};
// A check's report in the folder, by its file name (ReportName).
struct PageReport {
    std::string name;
    std::string text;
};

struct PageSources {
    std::string log;  // archive-log.csv
    std::vector<PageBag> bags;
    std::vector<PageReport> reports;
    LocalTime written;
};

std::string ArchivePage(const PageTexts& texts, const PageSources& sources,
                        const std::function<std::string(std::string_view)>& sha256);

}  // namespace dravolin::archive
