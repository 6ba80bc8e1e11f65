#include "platform/linux/archive/BagInfoFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <string>
#include <utility>
#include "archive/UserFields.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

ArchiveArguments ReadBagInfoFile(ArchiveArguments line) {
    if (line.action != ArchiveArguments::Action::Run || line.bagInfoFile.empty()) return line;
    const UniqueFd fd(::open(line.bagInfoFile.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!fd) return RefuseBagInfo(line, ErrorText(errno));
    // One byte past the limit tells a file too large without reading it all.
    std::string text(archive::kMaxUserFieldsBytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return RefuseBagInfo(line, ErrorText(errno));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return TakeBagInfo(std::move(line), text);
}

}  // namespace dravolin::lnx
