#pragma once
#include <functional>
#include <string>
#include <vector>
#include "platform/linux/StoreFormat.h"

namespace dravolin::lnx {

// The store's file in its folder: "store", with "store.lock" beside it for writers. The file
// may be a symbolic link (dotfile managers keep such files elsewhere): it is then read
// through the link and written at the link's end, the link staying a link. A damaged file
// that had to be rewritten is kept beside it as "store.bak.1", the earlier ones moving on to
// "store.bak.2" and "store.bak.3".
class StoreFile {
  public:
    explicit StoreFile(std::string folder);

    // The folder of the per-user store: $XDG_CONFIG_HOME/dravolin, or ~/.config/dravolin when
    // that variable is unset, empty or not an absolute path.
    static std::string DefaultFolder();

    const std::string& Path() const { return path_; }
    // The file the path leads to through its links; the path itself when they cannot be
    // followed.
    std::string Target() const;

    // What the file holds now. A missing or unreadable file reads as empty.
    ParsedStore Load() const;

    // Applies `change` to what the file holds at this moment and writes the result: under an
    // exclusive lock, so two programs never interleave and neither loses the other's values;
    // through a flushed temporary file renamed over the old one, so a crash leaves the old
    // file or the new one, never a mix. A damaged file is first kept as a backup, since the
    // rewrite keeps only what could be read of it. Returns 0 or an errno value.
    int Update(const std::function<void(std::vector<StoreRecord>&)>& change);

  private:
    std::string folder_;
    std::string path_;
};

}  // namespace dravolin::lnx
