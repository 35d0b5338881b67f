#include "support/Columns.h"
#include "support/DialogDriver.h"
#include "ui/CouponWidget.h"

using namespace Dialogs;

class tst_CouponWidget : public QObject {
    Q_OBJECT
    // One instance for the whole suite, as the controller keeps one for the library's lifetime.
    CouponWidget dlg;
    QTableView* table() { return dlg.findChild<QTableView*>("tableView"); }
    QLineEdit* field() { return dlg.findChild<QLineEdit*>("txtCode"); }
    int run(const std::function<void()>& steps) {
        return runAsCashier(
            "CouponWidget", [&] { return dlg.Exec(); }, steps);
    }
    int selectedRows() { return table()->selectionModel()->selectedRows().size(); }
    // The coupon records, "number|name|value|flag" each.
    QList<CouponRec> coupons(const QStringList& rows = {"C1001|满100减5|5|1", "C1002|新客券|0.5|0",
                                                        "C1003|生日券|100|2"}) {
        QList<CouponRec> list;
        for (const QString& row : rows) {
            const QStringList f = row.split('|');
            list << CouponRec{f[0], f[1], f[2].toDouble(), Kinds::couponUse(f[3]), QString()};
        }
        return list;
    }

private slots:
    void initTestCase() {
        useTillStyle();
        QCOMPARE(conventionBreaks(&dlg, "CouponWidget"), QString());
    }
    void init() { dlg.InitTable(); }

    // Filled, then emptied by a refill without coupons and at the start of a tender.
    void fillingAndEmptyingTheTable() {
        const QList<CouponRec> four = coupons() + coupons({"C1004||12.5|"});
        dlg.SetCoupons(four);
        QCOMPARE(rows(table()->model()),
                 QStringList({"1|C1001|满100减5|5.00|可用", "2|C1002|新客券|0.50|不可用",
                              "3|C1003|生日券|100.00|异常", "4|C1004||12.50|异常"}));
        const QString centre = QString::number(Qt::AlignCenter);
        QCOMPARE(
            rows(table()->model(), Qt::TextAlignmentRole).first(),
            QStringList({centre, centre, centre, QString::number(Qt::AlignRight | Qt::AlignVCenter), centre})
                .join('|'));
        QCOMPARE(selectedRows(), 1);
        QCOMPARE(dlg.CurrentCouponNo(), QStringLiteral("C1001"));
        QCOMPARE(headers(table()->model()), QString("序号|券号|名称|抵扣金额|是否使用"));
        QCOMPARE(columnWidths(table()), QList<int>({60, 188, 188, 80, 80}));
        for (bool byInitTable : {false, true}) {
            dlg.SetCoupons(four);
            table()->setColumnWidth(2, 300);
            byInitTable ? dlg.InitTable() : dlg.SetCoupons({});
            QCOMPARE(rows(table()->model()), QStringList());
            QCOMPARE(selectedRows(), 0);
            QCOMPARE(dlg.CurrentCouponNo(), QString());
            QCOMPARE(table()->columnWidth(2), 188);
        }
    }

    // What the cashier types and presses, with or without the three coupons listed; a
    // dialog still open afterwards is left with Escape. Nobody answers the checks here.
    void keys_data() {
        columns<bool, QString, QString, bool, QString, QStringList, int>(
            {"listed", "typed", "press", "open", "current", "checks", "result"});
        const QStringList none;
        // clang-format off
        QTest::newRow("empty entry, Return")            << false << ""           << "Return"              << true  << ""      << none                       << 0;
        QTest::newRow("empty entry, Enter")             << false << ""           << "Enter"               << true  << ""      << none                       << 0;
        QTest::newRow("number, Return")                 << false << "6200123456" << "Return"              << true  << ""      << QStringList{"6200123456"} << 0;
        QTest::newRow("letters and blank, Enter")       << true  << "AB 01"      << "Enter"               << true  << "C1001" << QStringList{"AB 01"}      << 0;
        QTest::newRow("up on the first row")            << true  << ""           << "Up"                  << true  << "C1001" << none                       << 0;
        QTest::newRow("up on the first row, then down") << true  << ""           << "Up Up Down"          << true  << "C1002" << none                       << 0;
        QTest::newRow("down twice")                     << true  << ""           << "Down Down"           << true  << "C1003" << none                       << 0;
        QTest::newRow("down past the last row")         << true  << ""           << "Down Down Down Down" << true  << "C1003" << none                       << 0;
        QTest::newRow("back up after the last row")     << true  << ""           << "Down Down Down Up"   << true  << "C1002" << none                       << 0;
        QTest::newRow("arrows on an empty table")       << false << ""           << "Up Down Up Down"     << true  << ""      << none                       << 0;
        QTest::newRow("F2 writes off an empty table")   << false << ""           << "F2"                  << false << ""      << none                       << 1;
        QTest::newRow("Esc cancels listed coupons")     << true  << ""           << "Esc"                 << false << "C1001" << none                       << 0;
        QTest::newRow("btncheck writes off")            << true  << ""           << "btncheck"            << false << "C1001" << none                       << 1;
        QTest::newRow("btncancel cancels")              << false << ""           << "btncancel"           << false << ""      << none                       << 0;
        // clang-format on
    }
    void keys() {
        QFETCH(bool, listed);
        QFETCH(QString, typed);
        QFETCH(QString, press);
        dlg.SetCoupons(listed ? coupons() : QList<CouponRec>());
        QSignalSpy checks(&dlg, &CouponWidget::SignCouponCheck);
        QSignalSpy clears(&dlg, &CouponWidget::SignCouponClear);
        const int result = run([&] {
            typeInto(field(), typed);
            if (press.startsWith("btn"))
                dlg.findChild<QPushButton*>(press)->click();
            else
                Dialogs::keys(field(), press);
            QCOMPARE(field()->text(), QString());
            QTEST(dlg.isVisible(), "open");
            if (dlg.isVisible())
                QTest::keyClick(field(), Qt::Key_Escape);
        });
        QStringList checked;
        for (const QList<QVariant>& args : checks)
            checked << args.at(0).toString();
        QTEST(checked, "checks");
        QCOMPARE(clears.count(), 0);
        QTEST(dlg.CurrentCouponNo(), "current");
        QCOMPARE(selectedRows(), dlg.CurrentCouponNo().isEmpty() ? 0 : 1);
        QTEST(result, "result");
        QCOMPARE(table()->model()->rowCount(), listed ? 3 : 0);
        QVERIFY(!dlg.isVisible());
    }

    // The controller answers every check by refilling the table from inside the emission, with the wait
    // screen over the dialog while the CRM is asked.
    void refillDuringCheckAndClear() {
        QList<CouponRec> listed;
        auto onCheck = connect(&dlg, &CouponWidget::SignCouponCheck, this, [&](QString no) {
            QWidget waitScreen;
            waitScreen.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
            waitScreen.show();
            QVERIFY(QTest::qWaitForWindowActive(&waitScreen));
            waitScreen.close();
            listed += coupons({no + "|券" + no + "|10|1"});
            dlg.SetCoupons(listed);
        });
        QStringList cleared;
        auto onClear = connect(&dlg, &CouponWidget::SignCouponClear, this, [&] {
            cleared << dlg.CurrentCouponNo();
            listed.removeAt(table()->currentIndex().row());
            dlg.SetCoupons(listed);
        });
        run([&] {
            for (const char* no : {"A1", "A2", "A3"})
                typeInto(field(), QString(no) + '\r');
            Dialogs::keys(field(), "Down F1");
            QCOMPARE(rows(table()->model()).join(' '), QString("1|A1|券A1|10.00|可用 2|A3|券A3|10.00|可用"));
            QCOMPARE(table()->selectionModel()->selectedRows().value(0).row(), 0);
            typeInto(field(), "A4"); // the next coupon still goes into the entry field
            QTest::keyClick(field(), Qt::Key_Escape);
        });
        disconnect(onCheck);
        disconnect(onClear);
        QCOMPARE(cleared, QStringList({"A2"}));
    }

    // Once the cashier has touched a row the table holds the focus; the keys still steer the dialog, and
    // asking to clear a row leaves it open.
    void clickedRowThenKeysFromTheTable() {
        dlg.SetCoupons(coupons());
        QSignalSpy clears(&dlg, &CouponWidget::SignCouponClear);
        run([&] {
            const QRect cell = table()->visualRect(table()->model()->index(2, 1));
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
            QCOMPARE(dlg.CurrentCouponNo(), QString("C1003"));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(table()));
            QTest::keyClick(table(), Qt::Key_Up);
            QCOMPARE(dlg.CurrentCouponNo(), QString("C1002"));
            QTest::keyClick(table(), Qt::Key_F1);
            dlg.findChild<QPushButton*>("btnclear")->click();
            QVERIFY(dlg.isVisible());
            QTest::keyClick(table(), Qt::Key_Escape);
        });
        QCOMPARE(clears.count(), 2);
    }

    void rendersAsCentredPanel() {
        dlg.SetCoupons(coupons());
        const QSize screen = dlg.screen()->size();
        run([&] {
            QTest::keyClicks(field(), "C1004");
            const QRect panel = rectIn(&dlg, "widgetback");
            QCOMPARE(panel.size(), QSize(600, 500));
            QCOMPARE(panel.center(), QRect(QPoint(), screen).center());
            // The five columns are laid out to fill the panel exactly.
            QVERIFY(!table()->horizontalScrollBar()->isVisible());
            const QImage shot = dlg.grab().toImage();
            QCOMPARE(shot.size(), screen);
            savePicture(shot, "CouponWidget");
            QTest::keyClick(field(), Qt::Key_Escape);
        });
    }
};

QTEST_MAIN(tst_CouponWidget)
#include "tst_CouponWidget.moc"
