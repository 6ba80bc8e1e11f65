#pragma once
#include <cstdint>
#include <string>
#include "archive/PageTexts.h"
#include "archive/RescueMap.h"

namespace dravolin::archive {

// A disc's rescue map drawn as ddrescueview draws one: the disc's bytes from the first to the
// last, left to right and row under row, in squares of equal share; a square takes the colour
// of the gravest state of any byte in it (unreadable, then not scraped, not trimmed, not tried,
// read), so that a single bad sector is never hidden by a read neighbourhood. An inline SVG
// element with a text alternative, then a legend naming each state present with its share, so
// that no colour has to be told apart to read it. Empty for an empty map.
std::string MapPicture(const RescueMap& map, const PageTexts& texts);

// "97.3%" ("97,3%" where the language writes a decimal comma); 100% only when all of it is.
std::string Percent(std::uint64_t part, std::uint64_t whole, const PageTexts& texts);

}  // namespace dravolin::archive
