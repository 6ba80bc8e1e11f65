#pragma once
#include <atomic>
#include <string>
#include <vector>
#include "platform/qt/texts/Translation.h"

namespace dravolin::cli {

// The exit statuses of `dravolin-archive verify`; kUsageExitStatus (2) is a refused command line.
enum VerifyStatus : int {
    kAllValid = 0,
    kSomethingChanged = 1,  // a bag changed, lost or gained files, or could not be read
    kCouldNotRun = 3,       // the target could not be read, the report not written, or stopped
};

// Checks every bag of the target folder `operands[0]`, or the bags named after it, reading every
// file again; prints one line per bag on the standard output and writes a dated report into the
// target, whose last line is the SHA-256 of the lines before it. Changes no bag. Progress goes
// to the error output when it is a terminal; `stop` ends the check between two blocks, and
// then no report is written.
int RunVerify(const std::vector<std::string>& operands, const qt::Translation& texts,
              const std::atomic<bool>& stop);

}  // namespace dravolin::cli
