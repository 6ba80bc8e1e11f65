#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace dravolin::lnx {

// A cdrdao TOC file's text with each relative name of a FILE, AUDIOFILE or DATAFILE statement
// made absolute from `folder`, the TOC file's own: cdrdao names them so, but libcdio opens
// them from the working folder, where they would not be found, or another file would.
std::string TocWithFolder(std::string_view text, const std::string& folder);

// A TOC file as libcdio should read it: `path` itself where its names need no change, else a
// copy with absolute names in a private temporary folder, removed with this object. Empty
// where `path` cannot be read or the copy cannot be made.
class TocForLibcdio {
  public:
    explicit TocForLibcdio(const std::string& path);
    ~TocForLibcdio();
    TocForLibcdio(const TocForLibcdio&) = delete;
    TocForLibcdio& operator=(const TocForLibcdio&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string folder_;  // the temporary folder; empty when none was made
};

}  // namespace dravolin::lnx
