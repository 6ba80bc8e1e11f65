#include "archive/MapPicture.h"
#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>
#include "archive/PageHtml.h"

namespace dravolin::archive {

namespace {

constexpr std::uint64_t kColumns = 64;
constexpr std::uint64_t kMaxSquares = kColumns * 16;

// Graver states first: the order a square's colour is chosen in.
struct StateLook {
    BlockState state;
    const char* colour;
    std::string PageTexts::*word;
};
constexpr std::array<StateLook, 5> kLooks{{
    {BlockState::Bad, "#d62c2c", &PageTexts::bad},
    {BlockState::NonScraped, "#3d6fd6", &PageTexts::nonScraped},
    {BlockState::NonTrimmed, "#e8c200", &PageTexts::nonTrimmed},
    {BlockState::NonTried, "#9e9e9e", &PageTexts::nonTried},
    {BlockState::Rescued, "#2f9e44", &PageTexts::read},
}};

std::size_t Gravity(BlockState state) {
    for (std::size_t at = 0; at < kLooks.size(); ++at) {
        if (kLooks[at].state == state) return at;
    }
    return kLooks.size() - 1;
}

}  // namespace

std::string Percent(std::uint64_t part, std::uint64_t whole, const PageTexts& texts) {
    // Tenths, rounded down: 99.96% read is not shown as all of it.
    const std::uint64_t tenths =
        whole == 0 ? 0 : static_cast<std::uint64_t>(static_cast<long double>(part) * 1000 / whole);
    char text[32];
    std::snprintf(text, sizeof text, "%llu%s%llu%%", static_cast<unsigned long long>(tenths / 10),
                  texts.language == "ru" ? "," : ".", static_cast<unsigned long long>(tenths % 10));
    return text;
}

std::string MapPicture(const RescueMap& map, const PageTexts& texts) {
    const std::uint64_t extent = map.Extent();
    if (extent == 0) return {};
    const std::uint64_t squares = std::min(extent, kMaxSquares);
    const std::uint64_t share = (extent + squares - 1) / squares;
    const std::uint64_t used = (extent + share - 1) / share;
    std::vector<std::size_t> gravity(used, kLooks.size() - 1);
    for (const MapBlock& block : map.Blocks()) {
        const std::size_t grave = Gravity(block.state);
        for (std::uint64_t square = block.pos / share; square * share < block.end(); ++square) {
            gravity[square] = std::min(gravity[square], grave);
        }
    }

    const std::string caption =
        Filled(texts.mapCaption, {Percent(map.Bytes(BlockState::Rescued), extent, texts)});
    std::string legend;
    std::string spoken = caption;
    for (const StateLook& look : kLooks) {
        const std::uint64_t bytes = map.Bytes(look.state);
        if (bytes == 0) continue;
        const std::string entry = texts.*look.word + " " + Percent(bytes, extent, texts);
        spoken += "; " + entry;
        legend += "<li><span class=\"swatch\" style=\"background:" + std::string(look.colour) +
                  "\"></span>" + HtmlText(entry) + "</li>";
    }

    const std::uint64_t rows = (used + kColumns - 1) / kColumns;
    std::string svg = "<svg class=\"map\" role=\"img\" aria-label=\"" + HtmlText(spoken) +
                      "\" viewBox=\"0 0 " + std::to_string(kColumns) + " " + std::to_string(rows) +
                      "\" preserveAspectRatio=\"none\" shape-rendering=\"crispEdges\">";
    // One rectangle per run of squares of one colour in a row.
    for (std::uint64_t row = 0; row < rows; ++row) {
        const std::uint64_t first = row * kColumns, last = std::min(used, first + kColumns);
        for (std::uint64_t at = first; at < last;) {
            std::uint64_t end = at + 1;
            while (end < last && gravity[end] == gravity[at]) ++end;
            svg += "<rect x=\"" + std::to_string(at - first) + "\" y=\"" + std::to_string(row) +
                   "\" width=\"" + std::to_string(end - at) + "\" height=\"1\" fill=\"" +
                   kLooks[gravity[at]].colour + "\"/>";
            at = end;
        }
    }
    return svg + "</svg><p class=\"caption\">" + HtmlText(caption) + "</p><ul class=\"legend\">" +
           legend + "</ul>";
}

}  // namespace dravolin::archive
