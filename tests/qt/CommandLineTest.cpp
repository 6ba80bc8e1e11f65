// The program's command line: archive mode and its options read into what the dialog takes,
// and every command line it refuses refused with one line in the user's language; the program
// itself ends with the status its command line calls for, before any window.
#include <QProcess>
#include <QtTest>
#include "platform/qt/product/CommandLine.h"

using namespace dravolin;
using namespace dravolin::qt;

Q_DECLARE_METATYPE(CommandLine::Action)

class CommandLineTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3.4"));
        QVERIFY(files_.isValid());
        const std::pair<const char*, QByteArray> files[] = {
            {"profile.txt", "Source-Organization: City Archive\nContact-Email: a@example.org\n"},
            {"large.txt", QByteArray(64 * 1024 + 1, '#')},
            {"latin1.txt", "Contact-Name: Jos\xE9\n"},
            {"prose.txt", "Source-Organization: City Archive\nthe archive's fields\n"},
            {"oxum.txt", "# from an old bag\nPayload-Oxum: 5.1\n"}};
        for (const auto& [name, bytes] : files) {
            QFile file(files_.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
    }

    void argumentsAreReadOrRefused_data() {
        using Action = CommandLine::Action;
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("language");
        QTest::addColumn<Action>("action");
        QTest::addColumn<bool>("archive");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("text");  // for Help, its first line
        QTest::addColumn<int>("keep");      // archive::BagKeeps

        const int en = int(Language::English);
        const int ru = int(Language::Russian);
        const QString plain = QStringLiteral("{label} {date} {serial}");
        using archive::BagKeeps;
        const int both = int(BagKeeps::Both);
        auto row = [](const char* name, QStringList arguments) -> QTestData& {
            arguments.prepend(QStringLiteral("dravolin"));
            return QTest::newRow(name) << arguments;
        };
        row("no options", {}) << en << Action::Run << false << plain << 30 << QString() << both;
        row("archive", {"--archive"})
            << en << Action::Run << true << plain << 30 << QString() << both;
        row("archive, name and time",
            {"--archive", "--name", "{drive} {time}", "--disc-time", "90"})
            << en << Action::Run << true << QStringLiteral("{drive} {time}") << 90 << QString()
            << both;
        row("values after =", {"--name=Фото {date}", "--disc-time=1440", "--archive"})
            << en << Action::Run << true << QStringLiteral("Фото {date}") << 1440 << QString()
            << both;
        row("the last value counts", {"--archive", "--disc-time", "5", "--disc-time", "7"})
            << en << Action::Run << true << plain << 7 << QString() << both;
        row("help", {"--help", "--bogus"})
            << en << Action::Help << false << plain << 30
            << QStringLiteral("Usage: dravolin [--archive [--name PATTERN] [--disc-time MINUTES]")
            << both;
        row("version", {"-v"}) << en << Action::Version << false << plain << 30
                               << QStringLiteral("Dravolin 1.2.3.4") << both;

        row("keep the files", {"--archive", "--keep", "files"})
            << en << Action::Run << true << plain << 30 << QString() << int(BagKeeps::Files);
        row("keep the image", {"--keep=image", "--archive"})
            << en << Action::Run << true << plain << 30 << QString() << int(BagKeeps::Image);

        auto refused = [&](const char* name, QStringList arguments, int language,
                           const char* text) {
            row(name, std::move(arguments)) << language << Action::Refuse << false << plain << 30
                                            << QString::fromUtf8(text) << both;
        };
        refused("unknown field", {"--archive", "--name", "{lable} {date}"}, en,
                "dravolin: --name: unknown field {lable}; the fields are {label} {date} {time} "
                "{serial} {drive}");
        refused("unknown field, Russian", {"--archive", "--name={serial}{Label}"}, ru,
                "dravolin: --name: неизвестное поле {Label}; поля: {label} {date} {time} {serial} "
                "{drive}");
        refused("unclosed brace", {"--archive", "--name", "{label"}, en,
                "dravolin: --name: a { is not closed by a }: {label");
        refused("stray brace", {"--archive", "--name", "label}"}, ru,
                "dravolin: --name: перед скобкой } нет скобки {: label}");
        refused("empty name", {"--archive", "--name="}, en,
                "dravolin: option --name needs a value");
        refused("time missing", {"--archive", "--disc-time"}, en,
                "dravolin: option --disc-time needs a value");
        refused("time zero", {"--archive", "--disc-time", "0"}, en,
                "dravolin: --disc-time takes whole minutes from 1 to 1440, not 0");
        refused("time beyond a day", {"--archive", "--disc-time", "1441"}, en,
                "dravolin: --disc-time takes whole minutes from 1 to 1440, not 1441");
        refused("time with a unit", {"--archive", "--disc-time=30m"}, ru,
                "dravolin: --disc-time: нужно целое число минут от 1 до 1440, а не 30m");
        refused("time signed", {"--archive", "--disc-time", "+30"}, en,
                "dravolin: --disc-time takes whole minutes from 1 to 1440, not +30");
        refused("name without archive", {"--name", "{label}"}, en,
                "dravolin: --name applies only with --archive");
        refused("time without archive", {"--disc-time", "10"}, ru,
                "dravolin: --disc-time действует только вместе с --archive");
        refused("unknown option", {"--archiv"}, en,
                "dravolin: unknown option --archiv; see dravolin --help");
        refused("unknown option with a value", {"--target=/x"}, ru,
                "dravolin: неизвестный параметр --target; см. dravolin --help");
        refused("keep what", {"--archive", "--keep", "all"}, en,
                "dravolin: --keep takes files, image or both, not all");
        refused("keep without archive", {"--keep=files"}, ru,
                "dravolin: --keep действует только вместе с --archive");
        refused("value for a switch", {"--archive=yes"}, en,
                "dravolin: option --archive takes no value");
        refused("an argument", {"--archive", "/media/cdrom"}, en,
                "dravolin: unexpected argument /media/cdrom; see dravolin --help");

        // DIR stands for the folder of the test's bag-info files.
        row("bag-info fields", {"--archive", "--bag-info", "DIR/profile.txt"})
            << en << Action::Run << true << plain << 30 << QString() << both;
        refused("bag-info without archive", {"--bag-info=DIR/profile.txt"}, ru,
                "dravolin: --bag-info действует только вместе с --archive");
        refused("bag-info missing", {"--archive", "--bag-info"}, en,
                "dravolin: option --bag-info needs a value");
        refused("bag-info too large", {"--archive", "--bag-info=DIR/large.txt"}, en,
                "dravolin: --bag-info: DIR/large.txt is larger than 64 KiB");
        refused("bag-info not UTF-8", {"--archive", "--bag-info=DIR/latin1.txt"}, ru,
                "dravolin: --bag-info: строка 1 файла DIR/latin1.txt — не текст в UTF-8");
        refused("bag-info not a field", {"--archive", "--bag-info=DIR/prose.txt"}, en,
                "dravolin: --bag-info: line 2 of DIR/prose.txt is not a \"Label: value\" field");
        refused(
            "bag-info naming a field of the program's", {"--archive", "--bag-info=DIR/oxum.txt"},
            en,
            "dravolin: --bag-info: line 2 of DIR/oxum.txt: Dravolin writes Payload-Oxum itself");
        refused("bag-info naming a field of the program's, Russian",
                {"--archive", "--bag-info=DIR/oxum.txt"}, ru,
                "dravolin: --bag-info: строка 2 файла DIR/oxum.txt: поле Payload-Oxum Dravolin "
                "пишет сам");
    }

    void argumentsAreReadOrRefused() {
        QFETCH(QStringList, arguments);
        QFETCH(int, language);
        QFETCH(CommandLine::Action, action);
        QFETCH(bool, archive);
        QFETCH(QString, pattern);
        QFETCH(int, minutes);
        QFETCH(QString, text);
        QFETCH(int, keep);
        arguments.replaceInStrings(QStringLiteral("DIR"), files_.path());
        text.replace(QStringLiteral("DIR"), files_.path());
        const CommandLine line = ReadCommandLine(arguments, static_cast<Language>(language));
        QCOMPARE(line.action, action);
        QCOMPARE(line.archive.on, archive);
        QCOMPARE(QString::fromStdString(line.archive.pattern), pattern);
        QCOMPARE(line.archive.discSeconds, std::uint32_t(minutes) * 60);
        QCOMPARE(int(line.archive.keep), keep);
        QCOMPARE(line.text.section(QLatin1Char('\n'), 0, 0), text);
        if (action == CommandLine::Action::Refuse) QVERIFY(!line.text.contains(QLatin1Char('\n')));
        QVERIFY2(!line.text.contains(QLatin1Char('%')), qPrintable(line.text));
    }

    // The program as installed: a refusal on standard error with status 2, help on standard
    // output with success, and in either case no dialog (which would keep it running).
    void theProgramEndsAsItsCommandLineSays_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("refused, Russian")
            << QStringList{"--archive", "--disc-time", "0"} << QStringLiteral("ru_RU.UTF-8") << 2
            << QString()
            << QStringLiteral(
                   "dravolin: --disc-time: нужно целое число минут от 1 до 1440, а не 0\n");
        QTest::newRow("a bag-info file that cannot be read")
            << QStringList{"--archive", "--bag-info", "/nonexistent/fields.txt"}
            << QStringLiteral("C.UTF-8") << 2 << QString()
            << QStringLiteral(
                   "dravolin: --bag-info: cannot read /nonexistent/fields.txt: No such "
                   "file or directory\n");
        QTest::newRow("help, Qt's options taken out first")
            << QStringList{"-platform", "offscreen", "--help"} << QStringLiteral("C.UTF-8") << 0
            << QStringLiteral("Usage: dravolin [--archive [--name PATTERN] [--disc-time MINUTES]")
            << QString();
    }

    void theProgramEndsAsItsCommandLineSays() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, lang);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LANG"), lang);
        environment.remove(QStringLiteral("LC_ALL"));
        environment.remove(QStringLiteral("LC_MESSAGES"));
        // A session has one; without it Qt itself writes to standard error.
        const QTemporaryDir runtime;
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(DRAVOLIN_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        QCOMPARE(
            QString::fromUtf8(program.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0),
            out);
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), err);
    }

  private:
    QTemporaryDir files_;
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
