#pragma once
#include <sys/types.h>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace dravolin::lnx {

// The room on the target disks that the discs being bagged by this program have been promised
// for their images and the files taken out of them. Two drives that archive into one target
// at once would each find room for both and fill the disk between them; with the room
// promised, the second reads its files from its disc instead. A promise counts in full until
// its disc is done, though its bag fills part of it meanwhile: the second disc may go without
// an image that would have fit, never the other way round. Used by every drive's worker.
class TargetRoom {
  public:
    // The bytes promised to one disc, given back when it goes.
    class Promise {
      public:
        ~Promise();
        Promise(const Promise&) = delete;
        Promise& operator=(const Promise&) = delete;

      private:
        friend class TargetRoom;
        Promise(TargetRoom& room, dev_t disk, std::uint64_t bytes)
            : room_(room), disk_(disk), bytes_(bytes) {}
        TargetRoom& room_;
        dev_t disk_;
        std::uint64_t bytes_;
    };

    // `bytes` on the disk of `folder`, where its free room less what other discs were promised
    // holds them; null where it does not, or the folder's disk cannot be told.
    std::unique_ptr<Promise> Take(const std::string& folder, std::uint64_t bytes);

  private:
    void GiveBack(dev_t disk, std::uint64_t bytes);

    std::mutex mutex_;
    std::map<dev_t, std::uint64_t> promised_;
};

}  // namespace dravolin::lnx
