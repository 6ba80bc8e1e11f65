#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include "archive/BagText.h"

namespace dravolin::archive {

// Fields a user adds to every bag's bag-info.txt (--bag-info FILE), so that the bags follow a
// BagIt profile an archive asks for: Source-Organization, Contact-Email, Bag-Group-Identifier...
//
// The file is written as bag-info.txt itself is (RFC 8493, 2.2.2), in UTF-8, so that a profile's
// example can be taken as it stands:
// - "Label: value": a colon, then a space or a tab; the label neither empty nor ending in a
//   blank, the value begun on the label's line;
// - a line that begins with a space or a tab continues the value before it; its lines are
//   joined by one space, since the writers put each value on one line;
// - blank lines are ignored, and so are lines whose first character is '#': a profile's fields
//   can carry their notes, and a field whose label begins with '#' is one nobody would expect;
// - a line ends with LF, CRLF or CR; a byte order mark at the start is skipped (editors on
//   Windows write one);
// - a label may repeat (BagIt allows it), and every field keeps its place.
// Leading and trailing blanks of each of a value's lines are dropped, as bagit-python drops them.

// Far more than any profile's fields; a larger file is more likely a wrong name than fields.
inline constexpr std::size_t kMaxUserFieldsBytes = 64 * 1024;

enum class UserFieldsProblem {
    None,
    TooLarge,   // more than kMaxUserFieldsBytes
    NotText,    // a line that is not UTF-8, or holds a control character other than a tab
    NotAField,  // a line that is no field, no continuation of one, not blank and no note
    OwnLabel,   // a label the program writes itself (IsProgramLabel)
};

struct UserFields {
    InfoFields fields;
    UserFieldsProblem problem = UserFieldsProblem::None;
    std::size_t line = 0;  // the line at fault, from 1; 0 for TooLarge
    std::string label;     // OwnLabel: the label as written

    bool ok() const { return problem == UserFieldsProblem::None; }
};

// The fields of such a file, or its first fault; a file with a fault gives no fields at all, so
// that no bag is written with only some of what the user asked for.
UserFields ReadUserFields(std::string_view text);

// Whether the program writes `label` into bag-info.txt itself, so that a user's field of that
// name would stand beside the program's and a reader would take either: Bagging-Date,
// Payload-Oxum (which a fixity check compares with the payload), External-Identifier (the
// disc's label), Bag-Size (which only the writer can know), and every label beginning with
// "Dravolin-" (by which a bag counts as its disc's). Letter case is ignored, as the readers of
// bag-info.txt differ in it.
bool IsProgramLabel(std::string_view label);

}  // namespace dravolin::archive
