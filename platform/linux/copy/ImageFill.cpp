#include "platform/linux/copy/ImageFill.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <string>
#include "archive/Recovery.h"
#include "platform/linux/copy/CopyIo.h"

namespace dravolin::lnx {

int ImageFill::WriteEach(const char* sector) {
    CopyIo io;
    for (const archive::ByteRange& range : unread_) {
        for (std::uint64_t at = range.begin; at < range.end; at += archive::kSector) {
            if (const int error =
                    WriteAll(io, image_, sector, archive::kSector, static_cast<off_t>(at))) {
                return error;
            }
        }
    }
    return 0;
}

int ImageFill::Write() {
    return WriteEach(fill_.Sector().data());
}

bool ImageFill::Switch() {
    fill_.Switch();
    return Write() == 0;
}

int ImageFill::Clear() {
    // Holes, as the read left them: no room is taken for what the disc did not give.
    for (const archive::ByteRange& range : unread_) {
        if (::fallocate(image_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                        static_cast<off_t>(range.begin),
                        static_cast<off_t>(range.end - range.begin)) != 0) {
            const std::string zeros(archive::kSector, '\0');
            if (const int error = WriteEach(zeros.data())) return error;
            return 0;
        }
    }
    return 0;
}

}  // namespace dravolin::lnx
