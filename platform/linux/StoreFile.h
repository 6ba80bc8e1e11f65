#pragma once
#include <functional>
#include <string>
#include <vector>
#include "platform/linux/StoreFormat.h"

namespace dravolin::lnx {

// The store's file in its folder: "store", with "store.lock" beside it for writers and
// "store.bak" for a damaged file that had to be rewritten.
class StoreFile {
  public:
    explicit StoreFile(std::string folder);

    // The folder of the per-user store: $XDG_CONFIG_HOME/dravolin, or ~/.config/dravolin when
    // that variable is unset, empty or not an absolute path.
    static std::string DefaultFolder();

    const std::string& Path() const { return path_; }

    // What the file holds now. A missing or unreadable file reads as empty.
    ParsedStore Load() const;

    // Applies `change` to what the file holds at this moment and writes the result: under an
    // exclusive lock, so two programs never interleave and neither loses the other's values;
    // through a flushed temporary file renamed over the old one, so a crash leaves the old
    // file or the new one, never a mix. A damaged file is first kept as store.bak, since the
    // rewrite keeps only what could be read of it. Returns 0 or an errno value.
    int Update(const std::function<void(std::vector<StoreRecord>&)>& change);

  private:
    int KeepBackup(const std::string& bytes) const;
    int WriteAtomically(const std::string& path, const std::string& bytes) const;
    std::string ReadAll(bool& readable) const;

    std::string folder_;
    std::string path_;
};

}  // namespace dravolin::lnx
