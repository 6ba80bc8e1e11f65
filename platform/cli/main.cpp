// dravolin-archive SOURCE TARGET: archive mode for scripts and servers. One disc, or a folder
// holding one, becomes a bag in the target folder exactly as the dialog's archive mode makes it;
// the exit status and one line on the standard output tell how it ended. Nothing is asked.
// dravolin-archive verify TARGET [BAG...] checks the bags there again.
#include <QLocale>
#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>
#include "archive/BagName.h"
#include "engine/ArchiveCommandLine.h"
#include "platform/cli/ArchiveRun.h"
#include "platform/cli/VerifyRun.h"
#include "platform/linux/archive/BagInfoFile.h"
#include "platform/linux/io/DescriptorLimit.h"
#include "platform/qt/texts/ArgumentTexts.h"
#include "platform/qt/texts/Translation.h"

namespace {

// Set by an interrupt or a termination: the copy stops at its next block, the bag being built
// is removed and the log says the disc failed, instead of the process dying mid-file.
std::atomic<bool> stopRequested{false};

void RequestStop(int) {
    stopRequested.store(true);
}

void Print(std::FILE* out, const QString& line) {
    std::fprintf(out, "%s\n", line.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace dravolin;
    std::setlocale(LC_ALL, "");
    lnx::RaiseDescriptorLimit();

    const qt::Translation texts(qt::LanguageOf(QLocale()));
    const std::vector<std::string> arguments(argv, argv + argc);

    struct sigaction stop {};
    stop.sa_handler = RequestStop;
    if (arguments.size() > 1 && arguments[1] == "verify") {
        // verify TARGET [BAG...]; "--" before names that begin with '-'.
        std::vector<std::string> operands(arguments.begin() + 2, arguments.end());
        if (!operands.empty() && operands.front() == "--") operands.erase(operands.begin());
        const bool option = !operands.empty() && operands.front().starts_with('-') &&
                            (arguments.size() < 3 || arguments[2] != "--");
        if (operands.empty() || option) {
            Print(stderr, texts.Text("verifyProgram.usage"));
            return kUsageExitStatus;
        }
        ::sigaction(SIGINT, &stop, nullptr);
        ::sigaction(SIGTERM, &stop, nullptr);
        ::sigaction(SIGHUP, &stop, nullptr);
        return cli::RunVerify(operands, texts, stopRequested);
    }
    const ArchiveArguments read =
        lnx::ReadBagInfoFile(ReadArchiveArguments(arguments, ArchiveProgram::Archiver, true));
    switch (read.action) {
        case ArchiveArguments::Action::Help:
            Print(stdout, texts.Text("archiveProgram.help")
                              .arg(QString::fromUtf8(archive::kDefaultPattern.data(),
                                                     qsizetype(archive::kDefaultPattern.size())),
                                   QString::number(ArchiveOptions{}.discSeconds / 60),
                                   QString::number(kMaxDiscMinutes)));
            return 0;
        case ArchiveArguments::Action::Version:
            Print(stdout, QStringLiteral("dravolin-archive (Dravolin) " DRAVOLIN_VERSION));
            return 0;
        case ArchiveArguments::Action::Refuse:
            Print(stderr, qt::RefusalText(read, QStringLiteral("dravolin-archive"), texts));
            return kUsageExitStatus;
        case ArchiveArguments::Action::Run:
            break;
    }

    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGHUP, &stop, nullptr);

    const cli::RunOutcome outcome =
        cli::RunArchive(read.archive, read.operands[0], read.operands[1], texts, stopRequested);
    Print(stdout, outcome.line);
    if (!outcome.warning.isEmpty()) Print(stderr, outcome.warning);
    return outcome.status;
}
