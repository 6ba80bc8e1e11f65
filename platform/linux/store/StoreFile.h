#pragma once
#include <functional>
#include <string>
#include <vector>
#include "platform/linux/store/StoreFormat.h"
#include "platform/linux/store/StoreIo.h"

namespace dravolin::lnx {

// The store's file in its folder: "store", with "store.lock" beside it for writers. The file
// may be a symbolic link (dotfile managers keep such files elsewhere): it is then read
// through the link and written at the link's end, the link staying a link. A damaged file
// that had to be rewritten is kept beside it as "store.bak.1", the earlier ones moving on to
// "store.bak.2" and "store.bak.3". Anything but a regular file at the store's place (a pipe,
// a device) is neither read nor replaced.
class StoreFile {
  public:
    // `sizeCap`: how much of the file is read at most.
    explicit StoreFile(std::string folder, std::size_t sizeCap = kStoreSizeCap);

    // The folder of the per-user store: $XDG_CONFIG_HOME/dravolin, or ~/.config/dravolin when
    // that variable is unset, empty or not an absolute path.
    static std::string DefaultFolder();

    const std::string& Path() const { return path_; }
    // The file the path leads to through its links; the path itself when they cannot be
    // followed.
    std::string Target() const;

    // What the file holds now. A missing or unreadable file reads as empty; one larger than
    // the size cap reads as damaged, with what the cap let in. `stamp`, when given, receives
    // the stamp of the file that was read.
    ParsedStore Load(FileStamp* stamp = nullptr) const;
    // The stamp of the file the path leads to now: when it equals that of a Load, the file
    // has not been replaced or changed since (short of a change that keeps its size within one
    // tick of the file system's clock).
    FileStamp Stamp() const;

    // Applies `change` to what the file holds at this moment and writes the result: under an
    // exclusive lock, so two programs never interleave and neither loses the other's values;
    // through a flushed temporary file renamed over the old one, so a crash leaves the old
    // file or the new one, never a mix. A damaged file is first kept whole as a backup, since
    // the rewrite keeps only what could be read of it; without that backup nothing is
    // rewritten. `keptAs`, when given, receives the backup's path when the file was damaged
    // and is kept, else is emptied. The temporary files of writers killed earlier are removed.
    // Returns 0, an errno value, or kStoreNotAFile.
    int Update(const std::function<void(std::vector<StoreRecord>&)>& change,
               std::string* keptAs = nullptr);

  private:
    std::string folder_;
    std::string path_;
    std::size_t sizeCap_;
};

}  // namespace dravolin::lnx
