#include "ui/CouponWidget.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <vector>

namespace {
// Plays the cashier inside the dialog's modal run. A dialog left open by a failed step, or by nobody
// within 5 s, is closed with Esc, so that a broken dialog fails the test instead of hanging it.
template <typename Steps> int runAsCashier(CouponWidget* dlg, Steps steps) {
    QTimer::singleShot(0, dlg, [dlg, steps] {
        if (QTest::qWaitForWindowActive(dlg))
            steps();
        else
            QTest::qFail("the dialog did not come up", __FILE__, __LINE__);
        if (QTest::currentTestFailed() && dlg->isVisible())
            QTest::keyClick(dlg, Qt::Key_Escape);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, dlg, [dlg] {
        QTest::qFail("the dialog was still open after 5 s", __FILE__, __LINE__);
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    watchdog.start(5000);
    return dlg->Exec();
}

// Stands in for the controller's coupon list: owns the records, hands out the pointers.
struct Coupons {
    std::vector<std::unique_ptr<CouponRec>> owned;
    QList<CouponRec*> list;
    void add(const QString& no, const QString& name, double value, const QString& flag) {
        owned.emplace_back(new CouponRec{no, name, value, flag, QString()});
        list << owned.back().get();
    }
    void remove(const QString& no) {
        for (int i = list.size() - 1; i >= 0; --i)
            if (list.at(i)->couponNo == no)
                list.removeAt(i);
    }
};

Coupons threeCoupons() {
    Coupons c;
    c.add("C1001", "满100减5", 5, "1");
    c.add("C1002", "新客券", 0.5, "0");
    c.add("C1003", "生日券", 100, "2");
    return c;
}
} // namespace

class tst_CouponWidget : public QObject {
    Q_OBJECT
    // One instance for the whole suite, as the controller keeps one for the library's lifetime.
    CouponWidget dlg;
    QTableView* table() { return dlg.findChild<QTableView*>("tableView"); }
    QLineEdit* field() { return dlg.findChild<QLineEdit*>("txtCode"); }
    // Where the keyboard goes; the dialog itself when nothing holds the focus, so that a lost focus
    // fails a comparison instead of the whole run.
    QWidget* focused() { return QApplication::focusWidget() ? QApplication::focusWidget() : &dlg; }
    QString cell(int row, int col) { return table()->model()->index(row, col).data().toString(); }
    QList<int> selectedRows() {
        QList<int> rows;
        for (const QModelIndex& index : table()->selectionModel()->selectedRows())
            rows << index.row();
        return rows;
    }
    void typeIntoFocus(const QString& keys) {
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field()));
        QTest::keyClicks(focused(), keys);
    }

private slots:
    void init() { dlg.InitTable(); }

    void tableShowsTheCoupons() {
        Coupons c = threeCoupons();
        c.add("C1004", "", 12.5, "");
        dlg.SetCoupons(c.list);
        QCOMPARE(table()->model()->rowCount(), 4);
        QStringList rows;
        for (int row = 0; row < 4; ++row) {
            QStringList cells;
            for (int col = 0; col < 5; ++col)
                cells << cell(row, col);
            rows << cells.join('|');
        }
        QCOMPARE(rows, QStringList({"1|C1001|满100减5|5.00|可用", "2|C1002|新客券|0.50|不可用",
                                    "3|C1003|生日券|100.00|异常", "4|C1004||12.50|异常"}));
        const auto align = [&](int col) {
            return table()->model()->index(0, col).data(Qt::TextAlignmentRole);
        };
        QCOMPARE(align(3).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
        for (int col : {0, 1, 2, 4})
            QCOMPARE(align(col).toInt(), int(Qt::AlignCenter));
        QCOMPARE(selectedRows(), QList<int>({0}));
        QCOMPARE(dlg.CurrentCouponNo(), QStringLiteral("C1001"));
        QStringList headers;
        QList<int> widths;
        for (int col = 0; col < 5; ++col) {
            headers << table()->model()->headerData(col, Qt::Horizontal).toString();
            widths << table()->columnWidth(col);
        }
        QCOMPARE(headers, QStringList({"序号", "券号", "名称", "抵扣金额", "是否使用"}));
        QCOMPARE(widths, QList<int>({60, 188, 188, 80, 80}));
    }

    void emptyingTheTable_data() {
        QTest::addColumn<bool>("byInitTable");
        QTest::newRow("refill with no coupons") << false;
        QTest::newRow("start of a tender") << true;
    }
    void emptyingTheTable() {
        QFETCH(bool, byInitTable);
        Coupons c = threeCoupons();
        dlg.SetCoupons(c.list);
        table()->setColumnWidth(2, 300);
        if (byInitTable)
            dlg.InitTable();
        else
            dlg.SetCoupons({});
        QCOMPARE(table()->model()->rowCount(), 0);
        QCOMPARE(selectedRows(), QList<int>());
        QCOMPARE(dlg.CurrentCouponNo(), QString());
        QCOMPARE(table()->columnWidth(2), 188);
    }

    void confirmNumber_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("emitted");
        QTest::newRow("empty, Return") << "" << int(Qt::Key_Return) << QStringList();
        QTest::newRow("empty, Enter") << "" << int(Qt::Key_Enter) << QStringList();
        QTest::newRow("number, Return") << "6200123456" << int(Qt::Key_Return) << QStringList({"6200123456"});
        QTest::newRow("letters and blank, Enter") << "AB 01" << int(Qt::Key_Enter) << QStringList({"AB 01"});
    }
    void confirmNumber() {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QStringList, emitted);
        QSignalSpy checks(&dlg, &CouponWidget::SignCouponCheck);
        QString leftInField = "unset";
        bool stillOpen = false;
        const int result = runAsCashier(&dlg, [&] {
            typeIntoFocus(typed);
            QTest::keyClick(focused(), Qt::Key(key));
            leftInField = field()->text();
            stillOpen = dlg.isVisible();
            QTest::keyClick(focused(), Qt::Key_Escape);
        });
        QStringList got;
        for (const QList<QVariant>& args : checks)
            got << args.at(0).toString();
        QCOMPARE(got, emitted);
        QCOMPARE(leftInField, QString());
        QVERIFY(stillOpen);
        QCOMPARE(result, 0);
    }

    // The controller answers every check by refilling the table from inside the emission, with the wait
    // screen over the dialog while the CRM is asked.
    void refillDuringCheckAndClear() {
        Coupons c;
        auto onCheck = connect(&dlg, &CouponWidget::SignCouponCheck, this, [&](QString no) {
            QWidget waitScreen;
            waitScreen.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
            waitScreen.show();
            QVERIFY(QTest::qWaitForWindowActive(&waitScreen));
            waitScreen.close();
            c.add(no, "券" + no, 10, "1");
            dlg.SetCoupons(c.list);
        });
        QStringList cleared;
        auto onClear = connect(&dlg, &CouponWidget::SignCouponClear, this, [&] {
            cleared << dlg.CurrentCouponNo();
            c.remove(dlg.CurrentCouponNo());
            dlg.SetCoupons(c.list);
        });
        QStringList numbers;
        QList<int> selectedAfterClear;
        runAsCashier(&dlg, [&] {
            for (const char* no : {"A1", "A2", "A3"}) {
                typeIntoFocus(no);
                QTest::keyClick(focused(), Qt::Key_Return);
            }
            QTest::keyClick(focused(), Qt::Key_Down);
            QTest::keyClick(focused(), Qt::Key_F1);
            for (int row = 0; row < table()->model()->rowCount(); ++row)
                numbers << cell(row, 0) + ":" + cell(row, 1);
            selectedAfterClear = selectedRows();
            // The next coupon still goes into the entry field.
            typeIntoFocus("A4");
            QTest::keyClick(focused(), Qt::Key_Escape);
        });
        disconnect(onCheck);
        disconnect(onClear);
        QCOMPARE(cleared, QStringList({"A2"}));
        QCOMPARE(numbers, QStringList({"1:A1", "2:A3"}));
        QCOMPARE(selectedAfterClear, QList<int>({0}));
    }

    void arrowKeysMoveTheCurrentRow_data() {
        QTest::addColumn<int>("coupons");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("current");
        // clang-format off
        QTest::newRow("up on the first row")            << 3 << "U"    << "C1001";
        QTest::newRow("up on the first row, then down") << 3 << "UUD"  << "C1002";
        QTest::newRow("down twice")                     << 3 << "DD"   << "C1003";
        QTest::newRow("down past the last row")         << 3 << "DDDD" << "C1003";
        QTest::newRow("back up after the last row")     << 3 << "DDDU" << "C1002";
        QTest::newRow("empty table")                    << 0 << "UDUD" << "";
        // clang-format on
    }
    void arrowKeysMoveTheCurrentRow() {
        QFETCH(int, coupons);
        QFETCH(QString, keys);
        QFETCH(QString, current);
        Coupons c = threeCoupons();
        dlg.SetCoupons(coupons ? c.list : QList<CouponRec*>());
        QString shown;
        QList<int> selected;
        runAsCashier(&dlg, [&] {
            for (QChar k : keys)
                QTest::keyClick(focused(), k == 'U' ? Qt::Key_Up : Qt::Key_Down);
            shown = dlg.CurrentCouponNo();
            selected = selectedRows();
            QTest::keyClick(focused(), Qt::Key_Escape);
        });
        QCOMPARE(shown, current);
        QCOMPARE(selected.size(), current.isEmpty() ? 0 : 1);
    }

    // Once the cashier has touched a row the table holds the focus; the keys still steer the dialog, and
    // asking to clear a row leaves it open.
    void clickedRowThenKeysFromTheTable() {
        Coupons c = threeCoupons();
        dlg.SetCoupons(c.list);
        QSignalSpy clears(&dlg, &CouponWidget::SignCouponClear);
        QStringList current;
        bool stillOpen = false;
        runAsCashier(&dlg, [&] {
            const QRect cellRect = table()->visualRect(table()->model()->index(2, 1));
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cellRect.center());
            current << dlg.CurrentCouponNo();
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(table()));
            QTest::keyClick(table(), Qt::Key_Up);
            current << dlg.CurrentCouponNo();
            QTest::keyClick(table(), Qt::Key_F1);
            dlg.findChild<QPushButton*>("btnclear")->click();
            stillOpen = dlg.isVisible();
            QTest::keyClick(table(), Qt::Key_Escape);
        });
        QCOMPARE(current, QStringList({"C1003", "C1002"}));
        QCOMPARE(clears.count(), 2);
        QVERIFY(stillOpen);
    }

    void endingTheTender_data() {
        QTest::addColumn<bool>("withCoupons");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("F2 writes off an empty table") << false << "F2" << 1;
        QTest::newRow("Esc cancels listed coupons") << true << "Esc" << 0;
        QTest::newRow("btncheck writes off") << true << "btncheck" << 1;
        QTest::newRow("btncancel cancels") << false << "btncancel" << 0;
    }
    void endingTheTender() {
        QFETCH(bool, withCoupons);
        QFETCH(QString, how);
        QFETCH(int, result);
        Coupons c = threeCoupons();
        dlg.SetCoupons(withCoupons ? c.list : QList<CouponRec*>());
        QSignalSpy checks(&dlg, &CouponWidget::SignCouponCheck);
        QSignalSpy clears(&dlg, &CouponWidget::SignCouponClear);
        const int got = runAsCashier(&dlg, [&] {
            if (how == "F2")
                QTest::keyClick(focused(), Qt::Key_F2);
            else if (how == "Esc")
                QTest::keyClick(focused(), Qt::Key_Escape);
            else
                dlg.findChild<QPushButton*>(how)->click();
        });
        QCOMPARE(got, result);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(checks.count() + clears.count(), 0);
        QCOMPARE(table()->model()->rowCount(), withCoupons ? 3 : 0);
    }

    void rendersAsCentredPanel() {
        qApp->setStyleSheet("#widgetblackground{background:rgba(0,0,0,120)}"
                            "#widgetback,#horizontalWidget{background:white}"
                            "#widget_btns QPushButton{background:#1f6fb2;color:white;border:none}"
                            "QLineEdit{border:1px solid #888}");
        Coupons c = threeCoupons();
        dlg.SetCoupons(c.list);
        QImage shot;
        QRect panel;
        bool scrollsSideways = true;
        runAsCashier(&dlg, [&] {
            QTest::keyClicks(focused(), "C1004");
            QWidget* back = dlg.findChild<QWidget*>("widgetback");
            panel = QRect(back->mapTo(&dlg, QPoint()), back->size());
            scrollsSideways = table()->horizontalScrollBar()->isVisible();
            shot = dlg.grab().toImage();
            QTest::keyClick(focused(), Qt::Key_Escape);
        });
        qApp->setStyleSheet(QString());
        const QSize screen = dlg.screen()->size();
        QCOMPARE(shot.size(), screen);
        QCOMPARE(panel.size(), QSize(600, 500));
        QCOMPARE(panel.center(), QRect(QPoint(), screen).center());
        // The five columns are laid out to fill the panel exactly.
        QVERIFY(!scrollsSideways);
        if (qEnvironmentVariableIsSet("ZOVORDA_PNG_DIR"))
            shot.save(qEnvironmentVariable("ZOVORDA_PNG_DIR") + "/CouponWidget.png");
    }
};

QTEST_MAIN(tst_CouponWidget)
#include "tst_CouponWidget.moc"
