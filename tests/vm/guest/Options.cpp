#include "Options.h"

#include <charconv>
#include "Policy.h"

namespace dravolin::vm {

std::optional<std::vector<char>> ParseLetters(const std::string& text) {
    std::vector<char> letters;
    for (char c : text) {
        if (c == ',') continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') return std::nullopt;
        letters.push_back(c);
    }
    return letters;
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + name;
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (name == "--tick") {
            std::optional<std::vector<char>> letters = ParseLetters(value);
            if (!letters) {
                error = "bad drive list " + value;
                return std::nullopt;
            }
            options.tick = *letters;
        } else if (name == "--target") {
            options.target = value;
        } else if (name == "--on-exists") {
            std::optional<lnx::ReplaceDecision> decision = ParseReplace(value);
            if (!decision) {
                error = "bad --on-exists " + value;
                return std::nullopt;
            }
            options.onExists = *decision;
        } else if (name == "--on-error") {
            std::optional<lnx::ErrorDecision> decision = ParseError(value);
            if (!decision) {
                error = "bad --on-error " + value;
                return std::nullopt;
            }
            options.onError = *decision;
        } else if (name == "--interval") {
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), options.intervalMs);
            if (ec != std::errc() || end != value.data() + value.size() ||
                options.intervalMs == 0) {
                error = "bad --interval " + value;
                return std::nullopt;
            }
        } else if (name == "--store") {
            options.store = value;
        } else if (name == "--mount-root") {
            options.mountRoot = value;
        } else {
            error = "unknown option " + name;
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace dravolin::vm
