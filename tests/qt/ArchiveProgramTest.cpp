// dravolin-archive as a script runs it: the real program on folder and image sources into a
// temporary target, judged by its exit status, its one result line, the bags and the log it leaves.
// Drives' device nodes need a real drive: the guest suites run those.
#include <fcntl.h>
#include <sys/stat.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include "archive/BagTestSupport.h"
#include "archive/AudioDisc.h"
#include "audio/AudioImages.h"
#include "audio/FlacDecode.h"

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Run in `work`, which is also the home folder: nothing may land anywhere else.
Run RunProgram(const QStringList& arguments, const QString& lang, const QString& work) {
    QProcess program;
    program.setWorkingDirectory(work);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANG"), lang);
    environment.insert(QStringLiteral("HOME"), work);
    environment.remove(QStringLiteral("LC_ALL"));
    environment.remove(QStringLiteral("LC_MESSAGES"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(DRAVOLIN_ARCHIVE_PROGRAM), arguments);
    if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit) return {};
    return {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Every path under `folder` with its size, to tell that nothing was written there.
QStringList Listing(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size());
    }
    entries.sort();
    return entries;
}

// The rows of the log, its header left out; -1 when one names a drive, which a folder has not.
int LogRows(const QString& target) {
    QFile log(target + QStringLiteral("/archive-log.csv"));
    if (!log.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray& line : lines.mid(1)) {
        if (!line.isEmpty() && line.split(',').value(2) != "\"\"") return -1;
    }
    return int(lines.size()) - 2;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class ArchiveProgramTest : public QObject {
    Q_OBJECT

  private slots:
    // An image file another tool made is read as a drive's disc is: into the bag's image, whole,
    // and known as the disc it was made of. A file that holds no disc is refused.
    void imageFilesAreReadAsDiscs() {
        const QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString disc = work.filePath(QStringLiteral("disc")),
                      iso = work.filePath(QStringLiteral("disc.iso")),
                      target = work.filePath(QStringLiteral("archive"));
        Write(disc + QStringLiteral("/a.txt"), "hello\n");
        Write(disc + QStringLiteral("/sub/b.bin"), QByteArray(300000, 'x'));
        if (QProcess::execute(QStringLiteral("genisoimage"),
                              {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-V"),
                               QStringLiteral("PHOTOS"), QStringLiteral("-o"), iso, disc}) != 0) {
            QSKIP("genisoimage is needed (scripts/install-deps)");
        }
        Run run = RunProgram({QStringLiteral("--keep=image"), iso, target},
                             QStringLiteral("C.UTF-8"), work.path());
        const QStringList made = QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(made.size(), 1);
        const QString bag = target + QLatin1Char('/') + made.front();
        QCOMPARE(run.out, QStringLiteral("complete: ") + bag + QLatin1Char('\n'));
        QCOMPARE(run.status, 0);
        QVERIFY(made.front().startsWith(QStringLiteral("PHOTOS ")));
        QFile image(bag + QStringLiteral("/data/image/disc.iso")), source(iso);
        QVERIFY(image.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
        QVERIFY(image.readAll() == source.readAll());
        QVERIFY(!QFileInfo::exists(bag + QStringLiteral("/data/files")));
        QProcess check;
        check.setWorkingDirectory(bag);
        check.start(QStringLiteral("sha256sum"),
                    {QStringLiteral("-c"), QStringLiteral("manifest-sha256.txt")});
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitCode(), 0);

        run = RunProgram({iso, target}, QStringLiteral("C.UTF-8"), work.path());
        QCOMPARE(run.out, QStringLiteral("already archived: ") + bag + QLatin1Char('\n'));
        run = RunProgram({disc + QStringLiteral("/a.txt"), target}, QStringLiteral("C.UTF-8"),
                         work.path());
        QCOMPARE(run.status, 3);
        QCOMPARE(run.out,
                 QStringLiteral("failed: ") + disc +
                     QStringLiteral("/a.txt is neither a folder, a CD/DVD drive nor a disc "
                                    "image (ISO 9660, UDF, BIN/CUE, cdrdao TOC)\n"));
    }

    // A CD image another tool made is archived as its disc would be: each audio track a FLAC
    // file that decodes to the very samples of the image, the cue sheet, the disc ID in
    // bag-info.txt and the log; a data track read into the image at its place on the disc and
    // its files taken out. The same table is the same disc.
    void cdImagesAreRippedAndKnownByTheirTable_data() {
        QTest::addColumn<int>("disc");
        QTest::addColumn<QString>("discId");
        using dravolin::lnx::test::ImageDisc;
        QTest::newRow("audio, cue")
            << int(ImageDisc::AudioCue) << QStringLiteral("P_96th6x1Xm5B5FYc1WAiGk7RpQ-");
        QTest::newRow("audio, cdrdao toc")
            << int(ImageDisc::AudioToc) << QStringLiteral("P_96th6x1Xm5B5FYc1WAiGk7RpQ-");
        QTest::newRow("mixed mode")
            << int(ImageDisc::MixedMode) << QStringLiteral("h8kjKkXER4U2LjC9vGrZQYdfmyU-");
        QTest::newRow("enhanced CD")
            << int(ImageDisc::EnhancedCd) << QStringLiteral("_EvA2MN79yxTHcRg2lvPX_JLwuw-");
    }

    void cdImagesAreRippedAndKnownByTheirTable() {
        namespace test = dravolin::lnx::test;
        namespace archive = dravolin::archive;
        QFETCH(int, disc);
        QFETCH(QString, discId);
        const QTemporaryDir work;
        QVERIFY(work.isValid());
        // A cdrdao TOC names its audio file from where the program runs: the images sit there.
        const test::DiscImage image =
            test::WriteDiscImage(test::ImageDisc(disc), work.path().toStdString());
        if (image.path.empty()) QSKIP("genisoimage is needed (scripts/install-deps)");
        const QString target = work.filePath(QStringLiteral("archive"));
        Run run = RunProgram({QString::fromStdString(image.path), target},
                             QStringLiteral("C.UTF-8"), work.path());
        const QStringList made = QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(made.size(), 1);
        const QString bag = target + QLatin1Char('/') + made.front();
        QCOMPARE(run.out, QStringLiteral("complete: ") + bag + QLatin1Char('\n'));
        QCOMPARE(run.status, 0);
        const std::string bagPath = bag.toStdString();
        const ::testing::AssertionResult checked = test::BagChecks(bagPath);
        QVERIFY2(checked, checked.message());

        for (std::size_t i = 0; i < image.toc.tracks.size(); ++i) {
            const archive::TocTrack& track = image.toc.tracks[i];
            if (!track.audio) continue;
            const std::string flac =
                bagPath + "/data/audio/" + archive::TrackFileName(track.number);
            QCOMPARE(QProcess::execute(QStringLiteral("flac"),
                                       {QStringLiteral("-t"), QStringLiteral("-s"),
                                        QString::fromStdString(flac)}),
                     0);
            // The silence an Enhanced CD's image holds after its last track is the session
            // gap, no part of the track.
            QVERIFY(test::DecodeFlac(flac).samples == image.audio[i].samples);
        }
        const QByteArray info = ReadAll(bag + QStringLiteral("/bag-info.txt"));
        QVERIFY(info.contains("\nDravolin-MusicBrainz-Disc-ID: " + discId.toUtf8() + "\n"));
        QCOMPARE(ReadAll(bag + QStringLiteral("/data/audio/disc.cue")).toStdString(),
                 archive::CueSheet(image.toc, discId.toStdString()));
        QVERIFY(ReadAll(target + QStringLiteral("/archive-log.csv"))
                    .contains("MusicBrainz disc ID " + discId.toUtf8()));
        if (!image.iso.empty()) {
            const auto data = std::find_if(image.toc.tracks.begin(), image.toc.tracks.end(),
                                           [](const auto& track) { return !track.audio; });
            const QByteArray disc = ReadAll(bag + QStringLiteral("/data/image/disc.iso"));
            QCOMPARE(
                disc.mid(qsizetype(data->start) * 2048, qsizetype(image.iso.size())).toStdString(),
                image.iso);
            QCOMPARE(ReadAll(bag + QStringLiteral("/data/files/readme.txt")),
                     QByteArray("A data track beside the audio.\n"));
        }

        run = RunProgram({QString::fromStdString(image.path), target}, QStringLiteral("C.UTF-8"),
                         work.path());
        QCOMPARE(run.out, QStringLiteral("already archived: ") + bag + QLatin1Char('\n'));
    }

    // verify checks the bags again, changes none of them, and leaves a dated report whose last
    // line vouches for the lines before it.
    void verifyTellsEachBagAndLeavesAReport() {
        const QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString disc = work.filePath(QStringLiteral("disc")),
                      target = work.filePath(QStringLiteral("archive"));
        Write(disc + QStringLiteral("/a.txt"), "hello\n");
        Run run = RunProgram({disc, target}, QStringLiteral("C.UTF-8"), work.path());
        QCOMPARE(run.status, 0);
        const QString bag = target + QLatin1Char('/') +
                            QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);

        const QString page = target + QStringLiteral("/index.html");
        const auto verify = [&](int status, const QString& out, const QByteArray& shown) {
            QStringList before = Listing(target);
            before.removeIf([&](const QString& entry) { return entry.startsWith(page); });
            const Run checked = RunProgram({QStringLiteral("verify"), target},
                                           QStringLiteral("C.UTF-8"), work.path());
            QCOMPARE(checked.out, out);
            QCOMPARE(checked.status, status);
            QStringList after = Listing(target);
            const QStringList reports =
                QDir(target).entryList({QStringLiteral("verify *.txt")}, QDir::Files);
            QCOMPARE(reports.size(), 1);
            const QString report = target + QLatin1Char('/') + reports.front();
            QCOMPARE(checked.err, QStringLiteral("report: ") + report + QLatin1Char('\n'));
            after.removeIf([&](const QString& entry) {
                return entry.startsWith(report) || entry.startsWith(page);
            });
            QCOMPARE(after, before);
            // The page shows the bag's last check.
            QVERIFY(
                ReadAll(page).contains("<span class=\"verify " + shown + "\">" + shown + " on "));
            QByteArray text = ReadAll(report);
            QFile::remove(report);
            text.chop(1);
            const qsizetype last = text.lastIndexOf('\n') + 1;
            QCOMPARE(text.mid(last),
                     QCryptographicHash::hash(text.left(last), QCryptographicHash::Sha256).toHex());
        };
        verify(0, QStringLiteral("valid: ") + bag + QLatin1Char('\n'), "valid");
        Write(bag + QStringLiteral("/data/files/a.txt"), "hellO\n");
        verify(1, QStringLiteral("changed: ") + bag + QLatin1Char('\n'), "changed");

        run = RunProgram({QStringLiteral("verify")}, QStringLiteral("C.UTF-8"), work.path());
        QCOMPARE(run.status, 2);
        run = RunProgram({QStringLiteral("verify"), work.filePath(QStringLiteral("none"))},
                         QStringLiteral("C.UTF-8"), work.path());
        QCOMPARE(run.status, 3);
    }

    void folderSourcesEndAsTheirExitStatusSays_data() {
        QTest::addColumn<QStringList>("arguments");  // SRC and TGT stand for the folders
        QTest::addColumn<int>("runs");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<int>("status");   // of the last run
        QTest::addColumn<QString>("out");  // BAG stands for the bag's path
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("bags");
        QTest::addColumn<int>("logRows");
        // Written over a.txt before the last run, its size and modification time kept.
        QTest::addColumn<QByteArray>("rewrite");

        const QString en = QStringLiteral("C.UTF-8");
        const QStringList plain{"SRC", "TGT"};
        QTest::newRow("a folder becomes a complete bag")
            << plain << 1 << en << 0 << QStringLiteral("complete: BAG\n") << QString() << 1 << 1
            << QByteArray();
        QTest::newRow("the same folder again is already archived")
            << plain << 2 << en << 0 << QStringLiteral("already archived: BAG\n") << QString() << 1
            << 2 << QByteArray();
        QTest::newRow("the same names, sizes and times with other bytes are another disc")
            << plain << 2 << en << 0 << QStringLiteral("complete: BAG (2)\n") << QString() << 2 << 2
            << QByteArray("jello\n");
        QTest::newRow("a bad pattern is refused before anything")
            << QStringList{"--name", "{lable} {date}", "SRC", "TGT"} << 1
            << QStringLiteral("ru_RU.UTF-8") << 2 << QString()
            << QStringLiteral(
                   "dravolin-archive: --name: неизвестное поле {lable}; поля: {label} "
                   "{date} {time} {serial} {drive}\n")
            << 0 << 0 << QByteArray();
        QTest::newRow("a regular file as the target fails, nothing written")
            << QStringList{"SRC", "FILE"} << 1 << en << 3
            << QStringLiteral("failed: cannot use the target folder FILE: Not a directory\n")
            << QString() << 0 << 0 << QByteArray();
        // Read by the dialog's rules, as written: never a folder named after them here.
        QTest::newRow("a Windows network name is refused, nothing written")
            << QStringList{"SRC", "\\\\server\\share\\x"} << 1 << en << 3
            << QStringLiteral(
                   "failed: cannot use the target folder \\\\server\\share\\x: This is a "
                   "Windows network name. Mount the share first and give the folder "
                   "it is mounted on.\n")
            << QString() << 0 << 0 << QByteArray();
        QTest::newRow("a Windows drive path is refused, nothing written")
            << QStringList{"SRC", "C:\\Users\\me"} << 1 << en << 3
            << QStringLiteral(
                   "failed: cannot use the target folder C:\\Users\\me: This is a "
                   "Windows drive path: Linux has no drive letters. Give a Linux "
                   "folder, such as ~/Discs.\n")
            << QString() << 0 << 0 << QByteArray();
        QTest::newRow("a character Windows forbids is refused, nothing written")
            << QStringList{"SRC", "bags?"} << 1 << QStringLiteral("ru_RU.UTF-8") << 3
            << QStringLiteral(
                   "ошибка: папка цели bags? содержит один из символов ? * < > | \", "
                   "которые Windows запрещает в именах\n")
            << QString() << 0 << 0 << QByteArray();
        QTest::newRow("a quoted ~ is the home folder")
            << QStringList{"SRC", "~/archive"} << 1 << en << 0 << QStringLiteral("complete: BAG\n")
            << QString() << 1 << 1 << QByteArray();
        // FIELDS and OXUM stand for bag-info files: a profile's fields, and one the program
        // writes itself.
        QTest::newRow("the user's fields follow the standard ones")
            << QStringList{"--bag-info=FIELDS", "SRC", "TGT"} << 1 << en << 0
            << QStringLiteral("complete: BAG\n") << QString() << 1 << 1 << QByteArray();
        QTest::newRow("a bag-info file naming Payload-Oxum is refused before anything")
            << QStringList{"--bag-info", "OXUM", "SRC", "TGT"} << 1 << en << 2 << QString()
            << QStringLiteral(
                   "dravolin-archive: --bag-info: line 1 of OXUM: Dravolin writes Payload-Oxum "
                   "itself\n")
            << 0 << 0 << QByteArray();
    }

    void folderSourcesEndAsTheirExitStatusSays() {
        QFETCH(QStringList, arguments);
        QFETCH(int, runs);
        QFETCH(QString, lang);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, bags);
        QFETCH(int, logRows);
        QFETCH(QByteArray, rewrite);

        const QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString source = work.filePath(QStringLiteral("ФОТО 2019"));
        const QString target = work.filePath(QStringLiteral("archive"));
        const QString file = work.filePath(QStringLiteral("not a folder"));
        const QString fields = work.filePath(QStringLiteral("fields.txt"));
        const QString oxum = work.filePath(QStringLiteral("oxum.txt"));
        Write(fields,
              "# the city archive's profile\nSource-Organization: City Archive\n"
              "External-Description: Photographs,\n  1950-1960\nContact-Email: a@example.org\n"
              "Contact-Email: b@example.org\n");
        Write(oxum, "Payload-Oxum: 1.1\n");
        Write(source + QStringLiteral("/a.txt"), "hello\n");
        Write(source + QStringLiteral("/sub/ёж.bin"), QByteArray(300000, 'x'));
        Write(source + QStringLiteral("/sub/deeper/empty"), {});
        Write(file, "keep me\n");
        const QStringList before = Listing(work.path());
        const QStringList sourceBefore = Listing(source);

        for (QString& argument : arguments) {
            if (argument == QLatin1String("SRC")) argument = source;
            if (argument == QLatin1String("TGT")) argument = target;
            if (argument == QLatin1String("FILE")) argument = file;
            argument.replace(QStringLiteral("FIELDS"), fields);
            if (argument == QLatin1String("OXUM")) argument = oxum;
        }
        Run run;
        for (int i = 0; i < runs; ++i) {
            if (i == runs - 1 && !rewrite.isEmpty()) {
                const QByteArray path = QFile::encodeName(source + QStringLiteral("/a.txt"));
                struct stat before {};
                QCOMPARE(::stat(path.constData(), &before), 0);
                Write(QFile::decodeName(path), rewrite);
                const timespec times[2] = {before.st_atim, before.st_mtim};
                QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
            }
            run = RunProgram(arguments, lang, work.path());
        }

        const QStringList made =
            QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        QCOMPARE(made.size(), bags);
        QCOMPARE(LogRows(target), logRows);
        const QString bag = made.isEmpty() ? QString() : target + QLatin1Char('/') + made.front();
        out.replace(QStringLiteral("BAG"), bag).replace(QStringLiteral("FILE"), file);
        err.replace(QStringLiteral("OXUM"), oxum);
        QCOMPARE(run.out, out);
        QCOMPARE(run.err, err);
        QCOMPARE(run.status, status);
        if (bags == 0) {
            // Not even the target folder: the source and everything beside it as they were.
            QCOMPARE(Listing(work.path()), before);
            return;
        }
        QCOMPARE(Listing(source), sourceBefore);
        for (const char* manifest : {"manifest-sha256.txt", "tagmanifest-sha256.txt"}) {
            QProcess check;
            check.setWorkingDirectory(bag);
            check.start(QStringLiteral("sha256sum"),
                        {QStringLiteral("--strict"), QStringLiteral("-c"), manifest});
            QVERIFY(check.waitForFinished(30000));
            QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
        }
        QFile manifest(bag + QStringLiteral("/manifest-sha256.txt"));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        QCOMPARE(manifest.readAll().count('\n'), 3);
        std::string said;
        QVERIFY2(dravolin::lnx::test::BagitPythonValidates(bag.toStdString(), &said), said.c_str());
        // Where the run named them, the user's fields stand beside the standard ones, before
        // the program's own.
        const QByteArray userFields =
            "\nExternal-Identifier: ФОТО 2019\nSource-Organization: City Archive\n"
            "External-Description: Photographs, 1950-1960\nContact-Email: a@example.org\n"
            "Contact-Email: b@example.org\nDravolin-Source: ";
        QCOMPARE(ReadAll(bag + QStringLiteral("/bag-info.txt")).contains(userFields),
                 arguments.contains(QStringLiteral("--bag-info=") + fields));
    }
};

QTEST_GUILESS_MAIN(ArchiveProgramTest)
#include "ArchiveProgramTest.moc"
