#pragma once
#include <string_view>

namespace dravolin::archive {

// The archive page's style sheet and its search, inline in the page: a page opened from the
// disk years later must not depend on anything beside it.
std::string_view PageStyle();
// Reads the search's data (the JSON in <script id="files">), fills #found as a name is typed
// into #search, and tells how many were found in #found-count; "#q=NAME" after the page's
// address searches for NAME at once.
std::string_view PageScript();

}  // namespace dravolin::archive
