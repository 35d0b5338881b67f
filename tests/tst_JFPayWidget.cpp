#include "support/Columns.h"
#include "support/DialogDriver.h"
#include "ui/JFPayWidget.h"

using namespace Dialogs;

static const QString kHelp = QStringLiteral("【Esc】：返回   【Enter】：确定   【Backspace】：删除");

class tst_JFPayWidget : public QObject {
    Q_OBJECT
    // One instance for the whole suite, as the controller keeps one for the library's lifetime.
    JFPayWidget dlg;
    QLineEdit* field() { return dlg.findChild<QLineEdit*>("txtCode"); }
    int run(const std::function<void()>& steps, const std::function<int()>& exec = nullptr) {
        const auto usual = [&] { return dlg.Exec("88.00", "20.00", kHelp); };
        return runAsCashier("JFPayWidget", exec ? exec : usual, steps);
    }

private slots:
    void initTestCase() {
        useTillStyle();
        QCOMPARE(conventionBreaks(&dlg, "JFPayWidget"), QString());
    }

    // What the cashier types, what the field keeps of it, and how the run ends. The last
    // confirm attempt, an empty one too, is what the dialog hands on; backing out keeps it.
    void amountEntry_data() {
        columns<QString, QString, QString, int, QString>({"typed", "how", "kept", "result", "input"});
        // clang-format off
        QTest::newRow("whole yuan")                     << "35"     << "Return"    << "35"    << 1 << "35";
        QTest::newRow("two decimals")                   << "12.34"  << "Return"    << "12.34" << 1 << "12.34";
        QTest::newRow("third decimal refused")          << "12.345" << "Return"    << "12.34" << 1 << "12.34";
        QTest::newRow("leading point refused")          << ".5"     << "Return"    << "5"     << 1 << "5";
        QTest::newRow("second point refused")           << "1.2.3"  << "Return"    << "1.23"  << 1 << "1.23";
        QTest::newRow("letters refused")                << "1a0b"   << "Return"    << "10"    << 1 << "10";
        QTest::newRow("minus refused")                  << "-8"     << "Return"    << "8"     << 1 << "8";
        QTest::newRow("dangling point confirmed as is") << "12."    << "Return"    << "12."   << 1 << "12.";
        QTest::newRow("one decimal confirmed as is")    << "12.3"   << "Return"    << "12.3"  << 1 << "12.3";
        QTest::newRow("nothing acceptable stays open")  << "abc."   << "Return"    << ""      << 0 << "";
        QTest::newRow("Esc backs out")                  << "5"      << "Esc"       << "5"     << 0 << "9.90";
        QTest::newRow("btnClose backs out")             << "5"      << "btnClose"  << "5"     << 0 << "9.90";
        QTest::newRow("btnReturn backs out")            << "5"      << "btnReturn" << "5"     << 0 << "9.90";
        // clang-format on
    }
    void amountEntry() {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(QString, kept);
        dlg.m_sInput = QStringLiteral("9.90");
        const int result = run([&] {
            QCOMPARE(texts(&dlg, {"lblTotal", "lblhelp1", "txtCode"}), "88.00|" + kHelp + "|");
            typeInto(field(), typed);
            QCOMPARE(field()->text(), kept);
            if (how.startsWith("btn"))
                dlg.findChild<QPushButton*>(how)->click();
            else
                keys(field(), how);
            QCOMPARE(dlg.isVisible(), kept.isEmpty());
            if (dlg.isVisible())
                QTest::keyClick(field(), Qt::Key_Escape);
        });
        QTEST(result, "result");
        QTEST(dlg.m_sInput, "input");
        QVERIFY(!dlg.isVisible());
    }

    void keypadGoesThroughTheValidator() {
        QStringList seen;
        const int result = run([&] {
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
    void startsEmptyWithTotalAndHelp() {
        QStringList shown;
        const auto look = [&] {
            shown << texts(&dlg, {"lblTotal", "lblhelp1", "txtCode"});
            QTest::keyClick(field(), Qt::Key_Escape);
        };
        QCOMPARE(run(look, [&] { return dlg.Exec("1000.00", "abc", kHelp); }), 0);
        QCOMPARE(run(look, [&] { return dlg.Exec("0.00", "7.10"); }), 0); // after a run with help
        QCOMPARE(shown, QStringList({"1000.00|" + kHelp + "|", "0.00||"}));
    }

    void rendersAsBottomPanel() {
        const QSize screen = dlg.screen()->size();
        run(
            [&] {
                QTest::keyClicks(field(), "100.5");
                QCOMPARE(texts(&dlg, {"lblModeName"}), QStringLiteral("积分支付"));
                QCOMPARE(visible(&dlg, {"widgetkey", "btnReturn", "btnClose", "btndot"}), QString());
                const QRect panel = rectIn(&dlg, "widgetback"), entry = rectIn(&dlg, "widgetpopcenter");
                QCOMPARE(panel.bottom(), screen.height() - 1 - 28);
                QVERIFY(panel.height() <= 360);
                QCOMPARE(entry.width(), 352);
                QVERIFY(entry.height() <= 120);
                QCOMPARE(entry.x() + entry.width() / 2, screen.width() / 2);
                const QImage shot = dlg.grab().toImage();
                QCOMPARE(shot.size(), screen);
                savePicture(shot, "JFPayWidget");
                QTest::keyClick(field(), Qt::Key_Escape);
            },
            [&] { return dlg.Exec("356.80", "120.00", kHelp); });
    }
};

QTEST_MAIN(tst_JFPayWidget)
#include "tst_JFPayWidget.moc"
