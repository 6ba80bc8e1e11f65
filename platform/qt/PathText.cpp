#include "platform/qt/PathText.h"

#include <sys/stat.h>
#include <filesystem>
#include <system_error>
#include "platform/linux/drives/TextCodecs.h"

namespace dravolin::qt {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the UTF-8 sequence at the start of `bytes`, 0 when it is not one: overlong
// forms, surrogates and values past U+10FFFF are not UTF-8.
std::size_t Utf8Length(std::string_view bytes, char32_t& value) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        value = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return length;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The one entry of `folder` that Qt shows as `name`, or none.
std::optional<std::string> EntryShownAs(const std::string& folder, const std::string& name) {
    const QString shown = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    std::optional<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string candidate = entry.path().filename().native();
        if (QString::fromUtf8(candidate.data(), static_cast<qsizetype>(candidate.size())) !=
            shown) {
            continue;
        }
        if (found) return std::nullopt;  // two fit: neither is known to be the one
        found = candidate;
    }
    return found;
}

// `path` with each missing name that holds U+FFFD replaced by the entry it stands for.
std::optional<std::string> WithDecodedNamesFound(const std::string& path) {
    if (Exists(path) || path.find(kReplacement) == std::string::npos) return path;
    std::string resolved;
    for (std::size_t begin = 0; begin <= path.size();) {
        std::size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(begin, end - begin);
        begin = end + 1;
        if (name.empty()) continue;
        const std::string folder = resolved.empty() ? "/" : resolved;
        if (!Exists(resolved + '/' + name) && name.find(kReplacement) != std::string::npos) {
            const std::optional<std::string> entry = EntryShownAs(folder, name);
            if (!entry) return std::nullopt;
            resolved += '/' + *entry;
        } else {
            resolved += '/' + name;
        }
    }
    return resolved;
}

}  // namespace

QString TextOfPath(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    while (!bytes.empty()) {
        char32_t value = 0;
        const std::size_t length = Utf8Length(bytes, value);
        if (length == 0) {
            text +=
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[0])));
            bytes.remove_prefix(1);
        } else {
            text += QString::fromUcs4(&value, 1);
            bytes.remove_prefix(length);
        }
    }
    return text;
}

std::string PathOfText(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            lnx::AppendUtf8(bytes, QChar::surrogateToUcs4(unit, text[++i].unicode()));
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += static_cast<char>(unit - kEscapeBase);
        } else {
            // Another lone surrogate, which nothing of ours makes, becomes U+FFFD there.
            lnx::AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

QUrl UrlOfPath(std::string_view path) {
    if (!path.starts_with('/')) return {};
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

std::optional<std::string> PathOfChosenUrl(const QUrl& url) {
    if (url.isEmpty() || !url.isLocalFile()) return std::nullopt;
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty()) return std::nullopt;
    return WithDecodedNamesFound(bytes.toStdString());
}

}  // namespace dravolin::qt
