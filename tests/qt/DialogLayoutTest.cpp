// The dialog as the template describes it, in English and Russian.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QtTest>
#include "platform/qt/DialogTemplate.h"
#include "tests/qt/QtTestPlatform.h"

using namespace dravolin;
using namespace dravolin::qt;

class DialogLayoutTest : public QObject {
    Q_OBJECT

  private:
    // The template's rectangle of a control in pixels of the dialog's font.
    static QRect Expected(const QtDialog& dialog, int x, int y, int width, int height) {
        return UnitsToPixels(x, y, width, height, DialogBaseUnits(QFontMetrics(dialog.font())));
    }

  private slots:
    void dialogUnitsFollowTheFont() {
        // 6 x 13 base units (the usual 8-point dialog font) turn 4 x 8 units into 6 x 13 px.
        QCOMPARE(UnitsToPixels(4, 8, 4, 8, QSize(6, 13)), QRect(6, 13, 6, 13));
        // Half-way values round up, as MulDiv does: 50 units of 7 px / 4 = 87.5 -> 88.
        QCOMPARE(UnitsToPixels(0, 0, 50, 16, QSize(7, 15)).size(), QSize(88, 30));
        const QFont big(QStringLiteral("DejaVu Sans"), 20);
        const QFont small(QStringLiteral("DejaVu Sans"), 8);
        QVERIFY(DialogBaseUnits(QFontMetrics(big)).width() >
                DialogBaseUnits(QFontMetrics(small)).width());
    }

    void languageFollowsTheLocale() {
        QCOMPARE(LanguageOf(QLocale(QLocale::Russian, QLocale::Russia)), Language::Russian);
        QCOMPARE(LanguageOf(QLocale(QLocale::German, QLocale::Germany)), Language::English);
        QCOMPARE(LanguageOf(QLocale(QLocale::English, QLocale::UnitedStates)), Language::English);
    }

    void layoutAndTexts_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("browse");
        QTest::addColumn<QString>("exit");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("labelUnits");
        QTest::addColumn<QString>("driveColumn");
        QTest::addColumn<QString>("statusColumn");
        QTest::newRow("English") << int(Language::English) << "Browse..."
                                 << "Exit"
                                 << "Target Folder:" << 47 << "Drive"
                                 << "Status";
        QTest::newRow("Russian") << int(Language::Russian) << "Выбор..."
                                 << "Выход"
                                 << "Целевой каталог:" << 62 << "Диск"
                                 << "Состояние";
    }

    void layoutAndTexts() {
        QFETCH(int, language);
        QFETCH(QString, browse);
        QFETCH(QString, exit);
        QFETCH(QString, label);
        QFETCH(int, labelUnits);
        QFETCH(QString, driveColumn);
        QFETCH(QString, statusColumn);
        test::QtTestPlatform machine(static_cast<Language>(language));
        machine.Run([&](QtDialog& dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Dravolin"));
            QCOMPARE(dialog.size(), Expected(dialog, 0, 0, 284, 105).size());
            QVERIFY(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
            QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
            QVERIFY(!dialog.windowIcon().isNull());

            QPushButton* browseButton = dialog.Button(3);
            QPushButton* exitButton = dialog.Button(2);
            QPushButton* openButton = dialog.Button(1004);
            QVERIFY(browseButton && exitButton && openButton);
            QCOMPARE(browseButton->text(), browse);
            QCOMPARE(exitButton->text(), exit);
            QCOMPARE(openButton->text(), QStringLiteral(">"));
            QVERIFY(browseButton->isDefault());
            QVERIFY(!exitButton->isDefault());
            QCOMPARE(browseButton->geometry(), Expected(dialog, 227, 82, 50, 16));
            QCOMPARE(exitButton->geometry(), Expected(dialog, 173, 82, 50, 16));
            QCOMPARE(openButton->geometry(), Expected(dialog, 265, 59, 12, 14));
            QCOMPARE(dialog.DriveTree().geometry(), Expected(dialog, 7, 7, 270, 40));
            const QRect combo = Expected(dialog, 7, 59, 257, 130);
            QCOMPARE(dialog.Target().geometry().topLeft(), combo.topLeft());
            QCOMPARE(dialog.Target().width(), combo.width());
            QCOMPARE(dialog.TargetLabel()->text(), label);
            QCOMPARE(TextsOf(static_cast<Language>(language)).targetLabelWidth, labelUnits);
            // A label is as wide as its template says, or as its text needs in a wider font.
            QRect labelRect = Expected(dialog, 7, 49, labelUnits, 8);
            labelRect.setWidth(
                std::max(labelRect.width(), dialog.TargetLabel()->sizeHint().width()));
            QCOMPARE(dialog.TargetLabel()->geometry(), labelRect);
            QRect productRect = Expected(dialog, 7, 80, 157, 18);
            productRect.setWidth(
                std::max(productRect.width(), dialog.ProductCaption()->sizeHint().width()));
            QCOMPARE(dialog.ProductCaption()->geometry(), productRect);
            QVERIFY(!dialog.ProductCaption()->isEnabled());
            QCOMPARE(dialog.ProductCaption()->text().count(QLatin1Char('\n')), 1);

            // The first tab stop has the focus; the tab order is the template's.
            QCOMPARE(dialog.focusWidget(), browseButton);
            const std::vector<QWidget*> stops{browseButton, &dialog.DriveTree(), &dialog.Target(),
                                              exitButton, openButton};
            std::vector<QWidget*> order;
            QWidget* widget = browseButton;
            do {
                QWidget* stop = widget == dialog.Target().lineEdit() ? &dialog.Target() : widget;
                if (std::find(stops.begin(), stops.end(), stop) != stops.end() &&
                    std::find(order.begin(), order.end(), stop) == order.end()) {
                    order.push_back(stop);
                }
                widget = widget->nextInFocusChain();
            } while (widget != browseButton);
            QVERIFY(order == stops);

            QTreeWidget& tree = dialog.DriveTree();
            QVERIFY(tree.isHeaderHidden());
            QCOMPARE(tree.columnCount(), 2);
            QCOMPARE(tree.headerItem()->text(0), driveColumn);
            QCOMPARE(tree.headerItem()->text(1), statusColumn);
            QCOMPARE(tree.columnWidth(0), 180);
            const int scrollBar = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
            QCOMPARE(tree.columnWidth(1), tree.contentsRect().width() - scrollBar - 182);
            QCOMPARE(tree.selectionMode(), QAbstractItemView::ExtendedSelection);
            QCOMPARE(tree.selectionBehavior(), QAbstractItemView::SelectRows);
            QVERIFY(dialog.Target().isEditable());
        });
    }

    void rowsShowDrivesWithCheckBoxesAndIcons() {
        test::QtTestPlatform machine;
        machine.fakes.machine->AddDrive('D');
        fake::FakeDrive& e = machine.fakes.machine->AddDrive('E');
        e.hasShellIcon = false;
        machine.fakes.machine->InsertDisc('E', fake::FakeDisc{"DATA", 0x1234, {}, {}});
        machine.Run([&](QtDialog& dialog) {
            QTreeWidget& tree = dialog.DriveTree();
            QCOMPARE(tree.topLevelItemCount(), 2);
            QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("CD Drive (D:)"));
            QCOMPARE(tree.topLevelItem(1)->text(0), QStringLiteral("DATA (E:)"));
            QCOMPARE(tree.topLevelItem(0)->text(1), QStringLiteral(" "));
            for (int row = 0; row < 2; ++row) {
                QTreeWidgetItem* item = tree.topLevelItem(row);
                QVERIFY(item->flags() & Qt::ItemIsUserCheckable);
                QCOMPARE(item->checkState(0), Qt::Unchecked);
                QVERIFY(!item->icon(0).isNull());
            }
        });
    }
};

QTEST_MAIN(DialogLayoutTest)
#include "DialogLayoutTest.moc"
