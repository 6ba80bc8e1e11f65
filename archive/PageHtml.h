#pragma once
#include <string>
#include <initializer_list>
#include <string_view>

namespace dravolin::archive {

// What the archive's page writes of a disc's names and labels, which are whatever bytes the
// disc held: nothing in them can end an element, an attribute, a script's data or a link.

// Text with &, <, >, " and ' as character references, and bytes that are not UTF-8 as U+FFFD:
// safe in an element and in a quoted attribute.
std::string HtmlText(std::string_view text);

// A relative link to a path of the target folder: every byte but letters, digits, '-', '.',
// '_', '~' and '/' percent-encoded, so that a name with '#', '?', ':' or bytes that are not
// UTF-8 still leads to its file.
std::string LinkPath(std::string_view path);

// A JSON string, quotes included, of the UTF-8 text (bytes that are not as U+FFFD), with '<',
// '>', '&' and the line separators escaped so that it cannot end the <script> element it stands
// in.
std::string JsonString(std::string_view text);

// "%1".."%4" of `pattern` replaced by the values given.
std::string Filled(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace dravolin::archive
