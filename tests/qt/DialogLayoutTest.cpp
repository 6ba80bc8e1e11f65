// The dialog as the template describes it, in English and Russian.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QtTest>
#include "app/Resource.h"
#include "platform/qt/DialogTemplate.h"
#include "tests/qt/QtTestPlatform.h"

using namespace dravolin;
using namespace dravolin::qt;

class DialogLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void dialogUnitsFollowTheFont() {
        // 6 x 13 base units (the usual 8-point dialog font) turn 4 x 8 units into 6 x 13 px.
        QCOMPARE(UnitsToPixels({4, 8, 4, 8}, QSize(6, 13)), QRect(6, 13, 6, 13));
        // Half-way values round up, as MulDiv does: 50 units of 7 px / 4 = 87.5 -> 88.
        QCOMPARE(UnitsToPixels({0, 0, 50, 16}, QSize(7, 15)).size(), QSize(88, 30));
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

    void dialogFollowsTheTemplate_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("archiveMode");
        QTest::addColumn<bool>("archiver");
        QTest::newRow("English") << int(Language::English) << false << true;
        QTest::newRow("Russian") << int(Language::Russian) << false << true;
        QTest::newRow("English, archive mode") << int(Language::English) << true << true;
        QTest::newRow("Russian, archive mode") << int(Language::Russian) << true << true;
        QTest::newRow("archive mode, no archiver") << int(Language::English) << true << false;
    }

    // The dialog as the template (platform/qt/MainTemplate.h, which the Windows tests hold
    // against the executable's IDD_MAIN) describes it: each control a widget of its kind, made
    // in the template's order, at its rectangle in pixels of the dialog's font and inside the
    // dialog, with its language's text; the tab stops in the template's order. Archive mode
    // changes the title alone, and only where the platform can archive.
    void dialogFollowsTheTemplate() {
        QFETCH(int, language);
        QFETCH(bool, archiveMode);
        QFETCH(bool, archiver);
        const Language lang = static_cast<Language>(language);
        const TemplateTexts& texts = TextsOf(lang);
        const QtResources strings(lang);
        test::QtTestPlatform machine(lang);
        machine.archive.on = archiveMode;
        if (!archiver) machine.platform.workers.archiver = nullptr;
        const QString title = archiveMode && archiver
                                  ? QString::fromStdString(strings.LoadString(IDS_ARCHIVE_CAPTION))
                                  : texts.caption;
        QVERIFY(!title.isEmpty());
        machine.Run([&](QtDialog& dialog) {
            const QSize base = DialogBaseUnits(QFontMetrics(dialog.font()));
            QCOMPARE(dialog.windowTitle(), title);
            QCOMPARE(dialog.size(),
                     UnitsToPixels({0, 0, kDialogWidthUnits, kDialogHeightUnits}, base).size());
            QVERIFY(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
            QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
            QVERIFY(!dialog.windowIcon().isNull());

            const QList<QWidget*> made = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            QVERIFY(made.size() >= qsizetype(kMainTemplate.size()));
            std::vector<QWidget*> stops;
            for (std::size_t i = 0; i < kMainTemplate.size(); ++i) {
                const ControlTemplate& control = kMainTemplate[i];
                QWidget* widget = made[qsizetype(i)];
                QRect expected = UnitsToPixels(control.UnitsIn(lang == Language::Russian), base);
                switch (control.kind) {
                    case ControlTemplate::Kind::PushButton: {
                        QCOMPARE(widget, dialog.Button(control.id));
                        QCOMPARE(dialog.Button(control.id)->isDefault(), control.defaultButton);
                        const QString text = control.id == IDC_BROWSE        ? texts.browse
                                             : control.id == IDC_OPEN_TARGET ? texts.openTarget
                                                                             : texts.exit;
                        QCOMPARE(dialog.Button(control.id)->text(), text);
                        break;
                    }
                    case ControlTemplate::Kind::ListView: {
                        QTreeWidget& tree = dialog.DriveTree();
                        QCOMPARE(widget, &tree);
                        QVERIFY(tree.isHeaderHidden());
                        QCOMPARE(tree.selectionMode(), QAbstractItemView::ExtendedSelection);
                        QCOMPARE(tree.selectionBehavior(), QAbstractItemView::SelectRows);
                        QCOMPARE(tree.columnCount(), 2);
                        QCOMPARE(tree.headerItem()->text(0),
                                 QString::fromStdString(strings.LoadString(IDS_COL_DRIVE)));
                        QCOMPARE(tree.headerItem()->text(1),
                                 QString::fromStdString(strings.LoadString(IDS_COL_STATUS)));
                        QCOMPARE(tree.columnWidth(0), 180);
                        const int scrollBar =
                            QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
                        QCOMPARE(tree.columnWidth(1),
                                 tree.contentsRect().width() - scrollBar - 182);
                        break;
                    }
                    case ControlTemplate::Kind::ComboBox:
                        QCOMPARE(widget, &dialog.Target());
                        QVERIFY(dialog.Target().isEditable());
                        // The template's height is the drop-down list's; the field keeps its own.
                        expected.setHeight(widget->height());
                        break;
                    case ControlTemplate::Kind::Label: {
                        const bool product = i == kProductCaptionIndex;
                        QLabel* label = product ? dialog.ProductCaption() : dialog.TargetLabel();
                        QCOMPARE(widget, label);
                        QCOMPARE(label->text(), product ? texts.product : texts.targetLabel);
                        // As wide as the template says, or as its text needs in a wider font.
                        expected.setWidth(std::max(expected.width(), label->sizeHint().width()));
                        break;
                    }
                }
                QCOMPARE(widget->geometry(), expected);
                QVERIFY(dialog.rect().contains(widget->geometry()));
                QCOMPARE(widget->isEnabled(), !control.disabled);
                if (control.TabStop()) stops.push_back(widget);
            }

            // The first tab stop has the focus; the tab order is the template's.
            QCOMPARE(dialog.focusWidget(), stops.front());
            std::vector<QWidget*> order;
            QWidget* widget = stops.front();
            do {
                QWidget* stop = widget == dialog.Target().lineEdit() ? &dialog.Target() : widget;
                if (std::find(stops.begin(), stops.end(), stop) != stops.end() &&
                    std::find(order.begin(), order.end(), stop) == order.end()) {
                    order.push_back(stop);
                }
                widget = widget->nextInFocusChain();
            } while (widget != stops.front());
            QVERIFY(order == stops);
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
