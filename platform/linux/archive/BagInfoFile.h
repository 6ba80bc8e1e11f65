#pragma once
#include "engine/ArchiveCommandLine.h"

namespace dravolin::lnx {

// --bag-info's FILE, where the command line names one and is to run, read whole before any disc
// is: its fields in `line.archive.bagInfo`, or the refusal that says what is wrong with it. Read
// as any command reads a file it is given (a pipe too: `--bag-info=<(...)`), never more than one
// byte past what the fields may take.
ArchiveArguments ReadBagInfoFile(ArchiveArguments line);

}  // namespace dravolin::lnx
