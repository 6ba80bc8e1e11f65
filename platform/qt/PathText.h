#pragma once
#include <QString>
#include <QUrl>
#include <optional>
#include <string>
#include <string_view>

namespace dravolin::qt {

// Linux names are bytes; Qt's controls hold UTF-16. Bytes that form UTF-8 show as the
// characters they encode; any other byte b is carried as the lone surrogate U+DC00 + b
// (U+DC80..U+DCFF), which no UTF-8 decodes to, so the way back gives the same bytes. Qt's own
// conversions (QString::fromUtf8, QFile::decodeName) put U+FFFD there and lose the byte.
// Every path the Qt controls show or take passes through these.
QString TextOfPath(std::string_view bytes);
std::string PathOfText(const QString& text);

// A file URL whose path carries the bytes exactly (percent escapes); empty unless the path is
// absolute.
QUrl UrlOfPath(std::string_view path);

// The folder a desktop's folder chooser returned, as bytes. A percent escape gives its byte
// exactly (the desktop portal answers so). A chooser that decodes names as Qt does gives
// U+FFFD for each byte that is not UTF-8: where such a name does not exist, the one entry of
// its folder that decodes to it is the chosen one. None when the URL is not a local file, or
// when such a name fits no entry or several: never a folder of another name.
std::optional<std::string> PathOfChosenUrl(const QUrl& url);

}  // namespace dravolin::qt
