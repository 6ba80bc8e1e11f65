#pragma once
#include <sys/mount.h>

namespace dravolin::lnx {

// A file system this program mounts itself with mount(2): read-only, and nothing on it may run
// or stand for a device or a privilege, whoever made the disc.
inline constexpr unsigned long kReadOnlyFlags = MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC;

// The file system types tried, in order. UDF first: where a disc carries both, it has the
// fuller names.
inline constexpr const char* kDiscFileSystems[] = {"udf", "iso9660"};

}  // namespace dravolin::lnx
