#pragma once
#include <string>
#include "platform/linux/audio/CdioDisc.h"

namespace dravolin::lnx {

enum class CdTextField { Title, Performer };

// A CD-TEXT field of the disc (`track` 0: the album) or of one of its tracks, as UTF-8, from
// the first language block; empty where the disc carries none. An image's text may be ISO
// 8859-1 or UTF-8.
std::string CdTextOf(CdioDisc& disc, CdTextField field, int track);

}  // namespace dravolin::lnx
