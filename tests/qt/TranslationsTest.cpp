// The Qt desktop's texts, from its translation files, against the Windows resources: every
// text the two desktops share (the dialog's caption and controls, the string table) reads the
// same in English and Russian on both, so that neither can drift. Texts only the Linux desktop
// shows have dotted ids and exist in every language.
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>
#include <map>
#include <set>
#include "platform/qt/QtResources.h"
#include "platform/qt/texts/Translation.h"

using namespace dravolin;
using namespace dravolin::qt;

namespace {

const QString kRoot = QStringLiteral(DRAVOLIN_TEST_DIR "/../..");

QString ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

// A quoted resource-script string: "" is a quote, \n a line break.
QString Unquote(const QString& quoted) {
    QString text = quoted.mid(1, quoted.size() - 2);
    text.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    return text;
}

using RcTexts = std::map<QString, QString>;  // key -> text

// The texts of platform/win32/res/Dravolin.rc by language ("en", "ru"): the dialog's caption
// under the dialog's name, each control's text under its id (the static texts, which share
// IDC_STATIC, as IDC_STATIC#1, #2... in their order), and the string table's entries.
std::map<QString, RcTexts> ParseRc(const QString& script) {
    std::map<QString, QString> macros;
    std::map<QString, RcTexts> texts;
    QString language;
    QString dialog;
    bool stringTable = false;
    int statics = 0;
    // A quoted string, its quotes doubled inside; regular expressions without raw strings,
    // which moc cannot read.
    const QString string = QStringLiteral("\"(?:[^\"]|\"\")*\"");
    const QString quoted = QLatin1Char('(') + string + QLatin1Char(')');
    const QRegularExpression define(QStringLiteral("^#define\\s+(\\w+)\\s+") + quoted);
    const QRegularExpression languageLine(QStringLiteral("^LANGUAGE\\s+LANG_(\\w+)"));
    const QRegularExpression dialogLine(QStringLiteral("^(\\w+)\\s+DIALOGEX\\b"));
    const QRegularExpression caption(QStringLiteral("^CAPTION\\s+") + quoted);
    const QRegularExpression control(
        QStringLiteral("^(?:DEFPUSHBUTTON|PUSHBUTTON|LTEXT|RTEXT|CTEXT|CONTROL)\\s+(") + string +
        QStringLiteral("|\\w+)\\s*,\\s*(\\w+)"));
    const QRegularExpression entry(QStringLiteral("^(\\w+)\\s+") + quoted);
    for (QString line : script.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        QRegularExpressionMatch m;
        if ((m = define.match(line)).hasMatch()) {
            macros[m.captured(1)] = Unquote(m.captured(2));
        } else if ((m = languageLine.match(line)).hasMatch()) {
            const QString name = m.captured(1);
            language = name == QLatin1String("ENGLISH")   ? QStringLiteral("en")
                       : name == QLatin1String("RUSSIAN") ? QStringLiteral("ru")
                                                          : QString();
        } else if ((m = dialogLine.match(line)).hasMatch()) {
            dialog = m.captured(1);
            statics = 0;
        } else if (line == QLatin1String("STRINGTABLE")) {
            stringTable = true;
        } else if (line == QLatin1String("END")) {
            dialog.clear();
            stringTable = false;
        } else if (language.isEmpty()) {
            continue;
        } else if (!dialog.isEmpty() && (m = caption.match(line)).hasMatch()) {
            texts[language][dialog] = Unquote(m.captured(1));
        } else if (!dialog.isEmpty() && (m = control.match(line)).hasMatch()) {
            const QString text = m.captured(1).startsWith(QLatin1Char('"'))
                                     ? Unquote(m.captured(1))
                                     : macros.at(m.captured(1));
            QString id = m.captured(2);
            if (id == QLatin1String("IDC_STATIC")) id += QStringLiteral("#%1").arg(++statics);
            if (!text.isEmpty()) texts[language][id] = text;
        } else if (stringTable && (m = entry.match(line)).hasMatch()) {
            texts[language][m.captured(1)] = Unquote(m.captured(2));
        }
    }
    return texts;
}

// The Qt string id of a resource-script key: the same, but for the static texts, which have
// no id of their own there.
QString QtIdOf(const QString& rcKey) {
    if (rcKey == QLatin1String("IDC_STATIC#1")) return QStringLiteral("IDC_TARGET_LABEL");
    if (rcKey == QLatin1String("IDC_STATIC#2")) return QStringLiteral("IDC_PRODUCT_CAPTION");
    return rcKey;
}

// The string ids of a translation file.
std::set<QString> IdsOf(const QString& tsFile) {
    std::set<QString> ids;
    QXmlStreamReader xml(ReadAll(tsFile));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("message")) {
            ids.insert(xml.attributes().value(QLatin1String("id")).toString());
        }
    }
    return ids;
}

}  // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

  private slots:
    void sharedTextsAreTheWindowsResources_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << int(Language::English);
        QTest::newRow("Russian") << int(Language::Russian);
    }

    void sharedTextsAreTheWindowsResources() {
        QFETCH(int, language);
        const Language lang = static_cast<Language>(language);
        const QString code = QLatin1String(Translation::CodeOf(lang));
        const std::map<QString, RcTexts> rc =
            ParseRc(ReadAll(kRoot + QStringLiteral("/platform/win32/res/Dravolin.rc")));
        QVERIFY(rc.count(code));
        const RcTexts& windows = rc.at(code);
        // The caption, the five texts of the controls, the sixteen strings.
        QCOMPARE(windows.size(), std::size_t{24});

        const Translation qt(lang);
        std::set<QString> shared;
        for (const auto& [key, text] : windows) {
            const QString id = QtIdOf(key);
            QVERIFY2(qt.Text(id.toLatin1().constData()) == text,
                     qPrintable(QStringLiteral("%1: Qt \"%2\", Windows \"%3\"")
                                    .arg(id, qt.Text(id.toLatin1().constData()), text)));
            shared.insert(id);
        }
        // Every id named like a Windows resource is one of them.
        const QString ts =
            kRoot + QStringLiteral("/platform/qt/translations/dravolin_%1.ts").arg(code);
        for (const QString& id : IdsOf(ts)) {
            if (!id.contains(QLatin1Char('.'))) {
                QVERIFY2(shared.count(id), qPrintable(id + QStringLiteral(" is not in the .rc")));
            }
        }
    }

    // The program's string table (numbers of app/Resource.h) reads the .rc's texts.
    void stringTableByNumber() {
        const QString header = ReadAll(kRoot + QStringLiteral("/app/Resource.h"));
        const std::map<QString, RcTexts> rc =
            ParseRc(ReadAll(kRoot + QStringLiteral("/platform/win32/res/Dravolin.rc")));
        const QRegularExpression define(QStringLiteral("#define\\s+(IDS_\\w+)\\s+(\\d+)"));
        int strings = 0;
        for (const Language language : {Language::English, Language::Russian}) {
            const QtResources resources(language);
            const RcTexts& windows = rc.at(QLatin1String(Translation::CodeOf(language)));
            for (auto it = define.globalMatch(header); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                const std::string text = resources.LoadString(m.captured(2).toUInt());
                QCOMPARE(QString::fromStdString(text), windows.at(m.captured(1)));
                ++strings;
            }
        }
        QCOMPARE(strings, 36);
    }

    // Each language's file has every id, with a text.
    void everyLanguageHasEveryText() {
        const QString folder = kRoot + QStringLiteral("/platform/qt/translations/");
        const std::set<QString> english = IdsOf(folder + QStringLiteral("dravolin_en.ts"));
        QVERIFY(english.size() > 13);
        for (const Language language : {Language::English, Language::Russian}) {
            const QString code = QLatin1String(Translation::CodeOf(language));
            QCOMPARE(IdsOf(folder + QStringLiteral("dravolin_%1.ts").arg(code)), english);
            const Translation texts(language);
            for (const QString& id : english) {
                const QByteArray key = id.toLatin1();
                QVERIFY2(
                    texts.Text(key.constData()) != id && !texts.Text(key.constData()).isEmpty(),
                    qPrintable(code + QStringLiteral(": no text for ") + id));
            }
        }
    }
};

QTEST_MAIN(TranslationsTest)
#include "TranslationsTest.moc"
