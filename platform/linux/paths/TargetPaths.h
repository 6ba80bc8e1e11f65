#pragma once
#include <string>
#include <string_view>

namespace dravolin::lnx {

// Target folders as a Linux user writes them. The core speaks Windows: it ends every target in
// a backslash, its separator. On Linux the program reads every backslash of a target as "/",
// so it never creates a name holding one; "~" and "~/..." are the home folder, "~name" and
// "~name/..." the home folder of the user of that name, and a relative target lies in the home
// folder, never in the folder the program was started from. A Windows drive path ("C:\...") or
// network name ("\\server\share") names no Linux folder: it is left as written and refused,
// never planted somewhere under a name of its own.

// Why a target names no folder the program may make ready.
enum class TargetRefusal {
    None,
    DrivePath,    // a letter and a colon, alone or before a separator: Linux has no drives
    NetworkName,  // two separators, one of them a backslash, at the start
    UnknownUser,  // "~name" where no user has that name
};

// What `text`, blanks around it aside, is refused for; None when it may name a folder.
TargetRefusal RefusalOf(std::string_view text);
// The user name a "~name" target names; empty for any other.
std::string UserNameOf(std::string_view text);

// The user's home folder: $HOME, else the password database's; empty when neither is known.
std::string HomeFolder();
// The home folder of the user `name`, from the password database; empty when there is none.
std::string HomeFolderOf(const std::string& name);

// `text` with every backslash read as "/", a run of separators as one, "~" replaced by `home`,
// "~name" by that user's home folder, and a relative path put under `home`. Blanks around the
// path stay where they are; a text of blanks stays as it is. With an empty `home` no "~" is
// replaced and a relative path stays relative. A refused text (RefusalOf) stays as it is.
std::string LinuxPathOf(std::string_view text, std::string_view home);

// The path `text` names: without the blanks around it (as the core trims them), read by
// LinuxPathOf with the home folder, without trailing separators ("/" stays "/"). Two texts name
// the same folder exactly when these are equal byte for byte: Linux names are case-sensitive.
std::string LocalPathOf(std::string_view text);

// The folder a target names; empty when it names none (an empty text, a refused one, or a
// relative one without a known home folder).
std::string FolderOfTarget(std::string_view target);

}  // namespace dravolin::lnx
