// The copy windows: a worker thread asks, the test answers on the UI thread as a user would.
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>
#include <atomic>
#include <future>
#include <thread>
#include "platform/qt/copy/CopyBoard.h"
#include "platform/qt/copy/CopyChannels.h"
#include "platform/qt/copy/CopyWindows.h"
#include "platform/qt/WidgetHandles.h"
#include "tests/qt/WindowEndings.h"

using namespace dravolin;
using namespace dravolin::qt;
using namespace dravolin::qt::test;

namespace {

// Clicks the button of the open prompt whose text is `label`.
bool Click(CopyBoard& board, const QString& label) {
    QDialog* prompt = board.OpenPrompt();
    if (!prompt) return false;
    for (QPushButton* button : prompt->findChildren<QPushButton*>()) {
        if (button->text() == label) {
            button->click();
            return true;
        }
    }
    return false;
}

constexpr auto kDeadline = std::chrono::seconds(10);

}  // namespace

class CopyPromptsTest : public QObject {
    Q_OBJECT

  private slots:
    void progressIsShownAndCancelStopsTheWorker() {
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        auto board = std::make_unique<CopyBoard>(owner, Language::English, channels);
        auto channel = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        std::atomic<bool> stopped{false};
        std::thread worker([&] {
            lnx::CopyProgress progress{false, "Docs/a.txt", 1536, 4096, 1, 3};
            while (channel->OnProgress(progress)) std::this_thread::yield();
            stopped = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(board->ProgressWindows().size() == 1, 10000);
        ProgressWindow* window = board->ProgressWindows().front();
        QTRY_COMPARE(window->FileText(), QStringLiteral("Docs/a.txt"));
        QCOMPARE(window->BytesText(), QStringLiteral("1.5 KB of 4.0 KB"));
        QCOMPARE(window->FilesText(), QStringLiteral("1 of 3 files"));
        QVERIFY(window->RateText().endsWith(QStringLiteral("/s")));
        window->CancelButton().click();
        worker.join();
        QVERIFY(stopped);
        QVERIFY(channel->CancelRequested());
    }

    // A Linux user reads the drive as the dialog's list names it and the folder its disc is
    // mounted on, never a Windows path.
    void progressWindowNamesTheDriveAndItsFolder_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("fromTo");
        QTest::newRow("English") << int(Language::English) << "Copying DATA (E:)"
                                 << "From /media/u/DATA to /home/u/discs";
        QTest::newRow("Russian") << int(Language::Russian) << "Копирование DATA (E:)"
                                 << "Из /media/u/DATA в /home/u/discs";
    }
    void progressWindowNamesTheDriveAndItsFolder() {
        QFETCH(int, language);
        QFETCH(QString, title);
        QFETCH(QString, fromTo);
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        CopyBoard board(owner, static_cast<Language>(language), channels);
        auto channel = channels->Open(HandleOf(&owner), "DATA (E:)", "/home/u/discs");
        channel->OnMounted("/media/u/DATA");
        QVERIFY(channel->OnProgress({false, "a", 1, 2, 0, 1}));
        QTRY_COMPARE(board.ProgressWindows().size(), std::size_t{1});
        QCOMPARE(board.ProgressWindows().front()->windowTitle(), title);
        QCOMPARE(board.ProgressWindows().front()->FromToText(), fromTo);
        channel->OnFinished(lnx::CopyOutcome::Completed, "");
    }

    // A disc that could not be mounted: the prompt names the drive and says what the system's
    // answer means; the answer itself is for the error output, but for a reason nothing else
    // says.
    void aMountFailureIsSaidAsAPersonWould_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("problem");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, Language language, lnx::MountProblem problem,
                            const char* text) {
            QTest::newRow(name) << int(language) << int(problem) << QString::fromUtf8(text);
        };
        using P = lnx::MountProblem;
        constexpr Language en = Language::English;
        constexpr Language ru = Language::Russian;
        row("en, no file system", en, P::NoFileSystem,
            "CD/DVD drive sr1 (E:)\n\nThis disc holds no files the computer can read. It may be "
            "blank, an audio CD, or damaged.");
        row("en, unreadable", en, P::Unreadable,
            "CD/DVD drive sr1 (E:)\n\nThe disc could not be read. It may be scratched, dirty or "
            "damaged.");
        row("en, not allowed", en, P::NotAllowed,
            "CD/DVD drive sr1 (E:)\n\nThe system did not allow you to open this disc.");
        row("en, no disc service", en, P::NoDiscService,
            "CD/DVD drive sr1 (E:)\n\nThe disc could not be opened: the system's disc service "
            "(UDisks2) is not running.");
        row("en, other", en, P::Other,
            "CD/DVD drive sr1 (E:)\n\nThe disc could not be opened: No medium found");
        row("ru, no file system", ru, P::NoFileSystem,
            "CD/DVD drive sr1 (E:)\n\nНа этом диске нет файлов, которые может прочитать "
            "компьютер. Возможно, диск пустой, звуковой или повреждён.");
        row("ru, unreadable", ru, P::Unreadable,
            "CD/DVD drive sr1 (E:)\n\nНе удалось прочитать диск. Возможно, он поцарапан, "
            "загрязнён или повреждён.");
        row("ru, not allowed", ru, P::NotAllowed,
            "CD/DVD drive sr1 (E:)\n\nСистема не разрешила вам открыть этот диск.");
        row("ru, no disc service", ru, P::NoDiscService,
            "CD/DVD drive sr1 (E:)\n\nНе удалось открыть диск: служба дисков системы (UDisks2) "
            "не запущена.");
        row("ru, other", ru, P::Other,
            "CD/DVD drive sr1 (E:)\n\nНе удалось открыть диск: No medium found");
    }
    void aMountFailureIsSaidAsAPersonWould() {
        QFETCH(int, language);
        QFETCH(int, problem);
        QFETCH(QString, text);
        // A text given more arguments than it names drops them with a warning.
        QTest::failOnWarning(QRegularExpression("QString::arg"));
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        CopyBoard board(owner, static_cast<Language>(language), channels);
        auto channel = channels->Open(HandleOf(&owner), "CD/DVD drive sr1 (E:)", "/tmp/out");
        auto asked = std::async(std::launch::async, [&] {
            return channel->AskError(
                {"/dev/sr1", 0, "No medium found", static_cast<lnx::MountProblem>(problem)});
        });
        // Should a check fail, the worker must not wait for ever.
        const auto release = qScopeGuard([&] { channel->Close(); });
        QTRY_VERIFY_WITH_TIMEOUT(board.OpenPrompt() != nullptr, 10000);
        auto* box = qobject_cast<QMessageBox*>(board.OpenPrompt());
        QVERIFY(box);
        QCOMPARE(box->text(), text);
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(asked.wait_for(kDeadline) == std::future_status::ready);
        QCOMPARE(asked.get(), lnx::ErrorDecision::Cancel);
    }

    void replaceAndErrorQuestionsGetTheUsersAnswers() {
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        CopyBoard board(owner, Language::English, channels);
        auto channel = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        auto replace = std::async(std::launch::async, [&] {
            return channel->AskReplace({"/tmp/out/a.txt", "a.txt", 10, 0, 20, 0});
        });
        QTRY_VERIFY_WITH_TIMEOUT(board.OpenPrompt() != nullptr, 10000);
        QVERIFY(Click(board, QStringLiteral("Yes to &All")));
        QVERIFY(replace.wait_for(kDeadline) == std::future_status::ready);
        QCOMPARE(replace.get(), lnx::ReplaceDecision::ReplaceAll);

        auto error = std::async(std::launch::async, [&] {
            return channel->AskError(
                {"/tmp/out/b.txt", 0, "b.txt could not be written: disc full"});
        });
        QTRY_VERIFY_WITH_TIMEOUT(board.OpenPrompt() != nullptr, 10000);
        auto* box = qobject_cast<QMessageBox*>(board.OpenPrompt());
        QVERIFY(box);
        QVERIFY(box->text().contains(QStringLiteral("disc full")));
        QVERIFY(Click(board, QStringLiteral("&Skip")));
        QVERIFY(error.wait_for(kDeadline) == std::future_status::ready);
        QCOMPARE(error.get(), lnx::ErrorDecision::Skip);

        // Escape on a prompt is Cancel.
        auto cancelled = std::async(std::launch::async, [&] {
            return channel->AskReplace({"/tmp/out/c.txt", "c.txt", 1, 0, 1, 0});
        });
        QTRY_VERIFY_WITH_TIMEOUT(board.OpenPrompt() != nullptr, 10000);
        QTest::keyClick(board.OpenPrompt(), Qt::Key_Escape);
        QVERIFY(cancelled.wait_for(kDeadline) == std::future_status::ready);
        QCOMPARE(cancelled.get(), lnx::ReplaceDecision::Cancel);
    }

    // The worker waits for the answer to a question; however the user ends the prompt, the
    // wait ends with Cancel, exactly once.
    void everyWayOfEndingAPromptIsItsCancel_data() {
        QTest::addColumn<int>("ending");
        QTest::addColumn<bool>("replace");
        for (Ending ending : kEndings) {
            for (bool replace : {true, false}) {
                const QString name = NameOf(ending) + (replace ? QStringLiteral(", replace")
                                                               : QStringLiteral(", error"));
                QTest::newRow(name.toUtf8().constData()) << static_cast<int>(ending) << replace;
            }
        }
    }
    void everyWayOfEndingAPromptIsItsCancel() {
        QFETCH(int, ending);
        QFETCH(bool, replace);
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        CopyBoard board(owner, Language::English, channels);
        auto channel = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        auto asked = std::async(std::launch::async, [&] {
            return replace ? channel->AskReplace({"/tmp/out/a.txt", "a.txt", 10, 0, 20, 0}) ==
                                 lnx::ReplaceDecision::Cancel
                           : channel->AskError({"/tmp/out/b.txt", 0, "b.txt: disc full"}) ==
                                 lnx::ErrorDecision::Cancel;
        });
        // Should a wait never end, a failing check must not leave the worker waiting for ever.
        const auto release = qScopeGuard([&] { channel->Close(); });
        QTRY_VERIFY_WITH_TIMEOUT(board.OpenPrompt() != nullptr, 10000);
        End(*board.OpenPrompt(), static_cast<Ending>(ending));
        QVERIFY(asked.wait_for(kDeadline) == std::future_status::ready);
        QVERIFY(asked.get());
        QVERIFY(board.OpenPrompt() == nullptr);

        // The next question waits for its own answer: nothing of the last one is left over.
        auto next = std::async(std::launch::async, [&] {
            return channel->AskReplace({"/tmp/out/c.txt", "c.txt", 1, 0, 1, 0});
        });
        QTRY_VERIFY_WITH_TIMEOUT(board.OpenPrompt() != nullptr, 10000);
        QVERIFY(next.wait_for(std::chrono::milliseconds(0)) == std::future_status::timeout);
        QVERIFY(Click(board, QStringLiteral("&No")));
        QVERIFY(next.wait_for(kDeadline) == std::future_status::ready);
        QCOMPARE(next.get(), lnx::ReplaceDecision::Skip);
    }

    // The progress window's Cancel, Escape and close box all stop the copy; the window stays
    // until the copy has ended.
    void everyWayOfEndingTheProgressWindowCancelsTheCopy_data() {
        QTest::addColumn<int>("ending");
        for (Ending ending : kEndings) {
            QTest::newRow(NameOf(ending).toUtf8().constData()) << static_cast<int>(ending);
        }
    }
    void everyWayOfEndingTheProgressWindowCancelsTheCopy() {
        QFETCH(int, ending);
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        CopyBoard board(owner, Language::English, channels);
        auto channel = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        QVERIFY(channel->OnProgress({false, "a", 1, 2, 0, 1}));
        QTRY_COMPARE(board.ProgressWindows().size(), std::size_t{1});
        ProgressWindow* window = board.ProgressWindows().front();
        End(*window, static_cast<Ending>(ending));
        QVERIFY(channel->CancelRequested());
        QVERIFY(!channel->OnProgress({false, "a", 2, 2, 1, 1}));
        QCOMPARE(board.ProgressWindows().size(), std::size_t{1});
        channel->OnFinished(lnx::CopyOutcome::Cancelled, "");
        QTRY_COMPARE(board.ProgressWindows().size(), std::size_t{0});
    }

    void russianPromptButtons() {
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        CopyBoard board(owner, Language::Russian, channels);
        auto channel = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        auto replace = std::async(std::launch::async, [&] {
            return channel->AskReplace({"/tmp/out/a.txt", "a.txt", 10, 0, 20, 0});
        });
        QTRY_VERIFY_WITH_TIMEOUT(board.OpenPrompt() != nullptr, 10000);
        QVERIFY(Click(board, QStringLiteral("Нет для в&сех")));
        QVERIFY(replace.wait_for(kDeadline) == std::future_status::ready);
        QCOMPARE(replace.get(), lnx::ReplaceDecision::SkipAll);
    }

    void closingTheDialogReleasesAWaitingWorker() {
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        auto board = std::make_unique<CopyBoard>(owner, Language::English, channels);
        auto channel = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        auto replace = std::async(std::launch::async, [&] {
            return channel->AskReplace({"/tmp/out/a.txt", "a.txt", 10, 0, 20, 0});
        });
        QTRY_VERIFY_WITH_TIMEOUT(board->OpenPrompt() != nullptr, 10000);
        board.reset();  // the dialog goes while the worker waits for its answer
        QVERIFY(replace.wait_for(kDeadline) == std::future_status::ready);
        QCOMPARE(replace.get(), lnx::ReplaceDecision::Cancel);
        // From now on the channel asks nobody and stops the copy.
        QVERIFY(!channel->OnProgress({}));
        QCOMPARE(channel->AskError({"x", 0, "y"}), lnx::ErrorDecision::Cancel);
        // A copy that starts after the dialog went gets a closed channel.
        auto late = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        QCOMPARE(late->AskReplace({}), lnx::ReplaceDecision::Cancel);
    }

    void finishClosesTheProgressWindow() {
        QWidget owner;
        auto channels = std::make_shared<CopyChannels>();
        CopyBoard board(owner, Language::English, channels);
        auto channel = channels->Open(HandleOf(&owner), "E:", "/tmp/out");
        QVERIFY(channel->OnProgress({false, "a", 1, 2, 0, 1}));
        QTRY_COMPARE(board.ProgressWindows().size(), std::size_t{1});
        channel->OnFinished(lnx::CopyOutcome::Completed, "");
        QTRY_COMPARE(board.ProgressWindows().size(), std::size_t{0});
    }

    void bytesInTheLanguagesUnits() {
        QCOMPARE(FormatBytes(512, CopyTextsOf(Language::English)), QStringLiteral("512 bytes"));
        QCOMPARE(FormatBytes(3 * 1024 * 1024, CopyTextsOf(Language::English)),
                 QStringLiteral("3.0 MB"));
        QCOMPARE(FormatBytes(2048, CopyTextsOf(Language::Russian)), QStringLiteral("2.0 КБ"));
    }
};

QTEST_MAIN(CopyPromptsTest)
#include "CopyPromptsTest.moc"
