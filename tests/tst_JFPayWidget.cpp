#include "ui/JFPayWidget.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {
// Plays the cashier inside the dialog's modal run. A dialog left open by a failed step, or by nobody
// within 5 s, is closed with Esc, so that a broken dialog fails the test instead of hanging it.
template <typename Exec, typename Steps> int runAsCashier(QWidget* dlg, Exec exec, Steps steps) {
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
    return exec();
}

const QString kHelp = QStringLiteral("【Esc】：返回   【Enter】：确定   【Backspace】：删除");
} // namespace

class tst_JFPayWidget : public QObject {
    Q_OBJECT
    // One instance for the whole suite, as the controller keeps one for the library's lifetime.
    JFPayWidget dlg;
    QLineEdit* field() { return dlg.findChild<QLineEdit*>("txtCode"); }
    // Where the keyboard goes; the dialog itself when nothing holds the focus, so that a lost focus
    // fails a comparison instead of the whole run.
    QWidget* focused() { return QApplication::focusWidget() ? QApplication::focusWidget() : &dlg; }
    QString labelText(const char* name) { return dlg.findChild<QLabel*>(name)->text(); }

private slots:
    // What the cashier types, what the field keeps, and what confirming it gives.
    void amountEntry_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        // clang-format off
        QTest::newRow("whole yuan")                     << "35"     << "35";
        QTest::newRow("two decimals")                   << "12.34"  << "12.34";
        QTest::newRow("third decimal refused")          << "12.345" << "12.34";
        QTest::newRow("leading point refused")          << ".5"     << "5";
        QTest::newRow("second point refused")           << "1.2.3"  << "1.23";
        QTest::newRow("letters refused")                << "1a0b"   << "10";
        QTest::newRow("minus refused")                  << "-8"     << "8";
        QTest::newRow("dangling point confirmed as is") << "12."    << "12.";
        QTest::newRow("one decimal confirmed as is")    << "12.3"   << "12.3";
        QTest::newRow("nothing acceptable")             << "abc."   << "";
        // clang-format on
    }
    void amountEntry() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        dlg.m_sInput = QStringLiteral("before");
        QString inField;
        bool openAfterEnter = false;
        const int result = runAsCashier(
            &dlg, [&] { return dlg.Exec("88.00", "20.00", kHelp); },
            [&] {
                QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field()));
                QTest::keyClicks(focused(), typed);
                inField = field()->text();
                QTest::keyClick(field(), Qt::Key_Return);
                openAfterEnter = dlg.isVisible();
                if (openAfterEnter)
                    QTest::keyClick(field(), Qt::Key_Escape);
            });
        QCOMPARE(inField, kept);
        QCOMPARE(result, kept.isEmpty() ? 0 : 1);
        QCOMPARE(openAfterEnter, kept.isEmpty());
        // An empty confirm attempt also counts as the last attempt.
        QCOMPARE(dlg.m_sInput, kept);
    }

    void keypadGoesThroughTheValidator() {
        QStringList seen;
        const int result = runAsCashier(
            &dlg, [&] { return dlg.Exec("88.00", "20.00"); },
            [&] {
                for (const char* name : {"btndot", "btn1", "btn0", "btndot", "btndot", "btn5", "btn0", "btn9",
                                         "btnUpdNum", "btn0", "btn8"}) {
                    dlg.findChild<QPushButton*>(name)->click();
                    seen << field()->text();
                }
                dlg.findChild<QPushButton*>("btnOK")->click();
            });
        QCOMPARE(seen, QStringList({"", "1", "10", "10.", "10.", "10.5", "10.50", "10.50", "", "0", "08"}));
        QCOMPARE(result, 1);
        QCOMPARE(dlg.m_sInput, QStringLiteral("08"));
    }

    // The amount due passed along never shows: the cashier keys the points share himself.
    void startsEmptyWithTotalAndHelp_data() {
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("due");
        QTest::addColumn<bool>("withHelp");
        // clang-format off
        QTest::newRow("with help line")                       << "123.45"  << "50.00" << true;
        QTest::newRow("two arguments, after a run with help") << "0.00"    << "7.10"  << false;
        QTest::newRow("due not a number")                     << "1000.00" << "abc"   << true;
        // clang-format on
    }
    void startsEmptyWithTotalAndHelp() {
        QFETCH(QString, total);
        QFETCH(QString, due);
        QFETCH(bool, withHelp);
        QString shownTotal, shownHelp, shownEntry = "unset";
        auto look = [&] {
            shownTotal = labelText("lblTotal");
            shownHelp = labelText("lblhelp1");
            shownEntry = field()->text();
            QTest::keyClick(field(), Qt::Key_Escape);
        };
        const auto exec = [&] { return withHelp ? dlg.Exec(total, due, kHelp) : dlg.Exec(total, due); };
        const int result = runAsCashier(&dlg, exec, look);
        QCOMPARE(result, 0);
        QCOMPARE(shownTotal, total);
        QCOMPARE(shownEntry, QString());
        QCOMPARE(shownHelp, withHelp ? kHelp : QString());
    }

    void backingOut_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("btnClose") << "btnClose";
        QTest::newRow("btnReturn") << "btnReturn";
    }
    void backingOut() {
        QFETCH(QString, how);
        dlg.m_sInput = QStringLiteral("9.90");
        const int result = runAsCashier(
            &dlg, [&] { return dlg.Exec("88.00", "20.00", kHelp); },
            [&] {
                QTest::keyClicks(focused(), "5");
                if (how == "Esc")
                    QTest::keyClick(focused(), Qt::Key_Escape);
                else
                    dlg.findChild<QPushButton*>(qPrintable(how))->click();
            });
        QCOMPARE(result, 0);
        QCOMPARE(dlg.m_sInput, QStringLiteral("9.90"));
        QVERIFY(!dlg.isVisible());
    }

    void rendersAsBottomPanel() {
        qApp->setStyleSheet("#widgetblackground{background:rgba(0,0,0,120)}"
                            "#widgetback{background:white} #widget_top{background:#1f6fb2}"
                            "#lblModeName{color:white} QLineEdit{border:1px solid #888}");
        QImage shot;
        QRect panel, entry;
        QString title;
        QStringList visible;
        runAsCashier(
            &dlg, [&] { return dlg.Exec("356.80", "120.00", kHelp); },
            [&] {
                QTest::keyClicks(field(), "100.5");
                QWidget* back = dlg.findChild<QWidget*>("widgetback");
                QWidget* center = dlg.findChild<QWidget*>("widgetpopcenter");
                panel = QRect(back->mapTo(&dlg, QPoint()), back->size());
                entry = QRect(center->mapTo(&dlg, QPoint()), center->size());
                title = dlg.findChild<QPushButton*>("lblModeName")->text();
                for (const char* name : {"widgetkey", "btnReturn", "btnClose", "btndot"})
                    if (dlg.findChild<QWidget*>(name)->isVisible())
                        visible << name;
                shot = dlg.grab().toImage();
                QTest::keyClick(field(), Qt::Key_Escape);
            });
        qApp->setStyleSheet(QString());
        const QSize screen = dlg.screen()->size();
        QCOMPARE(shot.size(), screen);
        QCOMPARE(title, QStringLiteral("积分支付"));
        QCOMPARE(visible, QStringList());
        QCOMPARE(panel.bottom(), screen.height() - 1 - 28);
        QVERIFY(panel.height() <= 360);
        QCOMPARE(entry.width(), 352);
        QVERIFY(entry.height() <= 120);
        QCOMPARE(entry.x() + entry.width() / 2, screen.width() / 2);
        if (qEnvironmentVariableIsSet("ZOVORDA_PNG_DIR"))
            shot.save(qEnvironmentVariable("ZOVORDA_PNG_DIR") + "/JFPayWidget.png");
    }
};

QTEST_MAIN(tst_JFPayWidget)
#include "tst_JFPayWidget.moc"
