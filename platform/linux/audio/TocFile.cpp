#include "platform/linux/audio/TocFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr std::string_view kTocFileKeywords[] = {"FILE", "AUDIOFILE", "DATAFILE"};

// One line, its statement's file name made absolute where it is relative.
std::string TocLineWithFolder(std::string_view line, const std::string& folder) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) return std::string(line);
    for (const std::string_view keyword : kTocFileKeywords) {
        const std::string_view rest = line.substr(start);
        if (!rest.starts_with(keyword)) continue;
        const std::size_t quote = rest.find_first_not_of(" \t", keyword.size());
        if (quote == keyword.size() || quote == std::string_view::npos || rest[quote] != '"') {
            continue;
        }
        // "-" is standard input; an absolute name stays as it is.
        const std::string_view name = rest.substr(quote + 1);
        if (name.starts_with('/') || name.starts_with("-\"")) break;
        std::string made(line.substr(0, start + quote + 1));
        return made + folder + "/" + std::string(name);
    }
    return std::string(line);
}

std::string ReadWhole(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (!fd) return text;
    char block[4096];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        if (n == 0) return text;
        text.append(block, static_cast<std::size_t>(n));
    }
}

}  // namespace

std::string TocWithFolder(std::string_view text, const std::string& folder) {
    std::string made;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        made += TocLineWithFolder(line, folder);
        if (end == std::string_view::npos) break;
        made += '\n';
        text.remove_prefix(end + 1);
    }
    return made;
}

TocForLibcdio::TocForLibcdio(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return;
    const std::string absolute = resolved;
    const std::string text = ReadWhole(absolute);
    const std::string made = TocWithFolder(text, absolute.substr(0, absolute.rfind('/')));
    if (made == text) {
        path_ = path;
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/dravolin-toc-XXXXXX";
    if (!::mkdtemp(folder.data())) return;
    folder_ = folder;
    const std::string copy = folder_ + "/disc.toc";
    const UniqueFd fd(::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd && ::write(fd.Get(), made.data(), made.size()) == static_cast<ssize_t>(made.size())) {
        path_ = copy;
    }
}

TocForLibcdio::~TocForLibcdio() {
    if (folder_.empty()) return;
    ::unlink((folder_ + "/disc.toc").c_str());
    ::rmdir(folder_.c_str());
}

}  // namespace dravolin::lnx
