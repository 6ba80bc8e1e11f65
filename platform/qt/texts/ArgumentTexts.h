#pragma once
#include <QString>
#include "engine/ArchiveCommandLine.h"
#include "platform/qt/texts/Translation.h"

namespace dravolin::qt {

// The one line a refused command line prints, "<program>: <why>", in the translation's
// language (ids commandLine...). `program` is the name the user typed the program by.
QString RefusalText(const ArchiveArguments& refused, const QString& program,
                    const Translation& texts);

}  // namespace dravolin::qt
