#pragma once
#include <string>
#include <string_view>

namespace dravolin::lnx {

// Target folders as a Linux user writes them. The core speaks Windows: it ends every target in
// a backslash, its separator. On Linux the program reads every backslash of a target as "/",
// so it never creates a name holding one; "~" and "~/..." are the home folder, and a relative
// target lies in the home folder, never in the folder the program was started from.

// The user's home folder: $HOME, else the password database's; empty when neither is known.
std::string HomeFolder();

// `text` with every backslash read as "/", a run of separators as one, "~" replaced by `home`,
// and a relative path put under `home`. Blanks around the path stay where they are; a text of
// blanks stays as it is. With an empty `home` a relative path stays relative.
std::string LinuxPathOf(std::string_view text, std::string_view home);

// The path `text` names: without the blanks around it (as the core trims them), read by
// LinuxPathOf with the home folder, without trailing separators ("/" stays "/"). Two texts name
// the same folder exactly when these are equal byte for byte: Linux names are case-sensitive.
std::string LocalPathOf(std::string_view text);

// The folder a target names; empty when it names none (an empty text, or a relative one
// without a known home folder).
std::string FolderOfTarget(std::string_view target);

}  // namespace dravolin::lnx
