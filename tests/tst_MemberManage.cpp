#include "support/Columns.h"
#include "support/DialogDriver.h"
#include "ui/MemberManage.h"

using namespace Dialogs;

class TestMemberManage : public QObject {
    Q_OBJECT

    static int run(MemberManage& screen, const std::function<void()>& steps) {
        return runAsCashier(
            "MemberManage", [&] { return screen.Exec(); }, steps);
    }

private slots:
    void initTestCase() { useTillStyle(); }

    void offersOnlyTheSignIn() {
        MemberManage screen;
        QCOMPARE(conventionBreaks(&screen, "MemberManage"), QString());
        run(screen, [&] {
            QCOMPARE(visible(&screen, {"btnReturn", "lblModeName", "btnClose", "btnVipSignin"}),
                     QString("lblModeName|btnVipSignin"));
            QCOMPARE(texts(&screen, {"lblModeName", "btnVipSignin", "lblhelp1"}),
                     QString("会员管理|签到（0）|【ESC】：返回"));
            QCOMPARE(screen.findChild<QWidget*>("widgetback")->height(), 332);
            savePicture(screen.grab().toImage(), "MemberManage");
            QTest::keyClick(&screen, Qt::Key_Escape);
        });
    }

    // What the cashier does in turn; all but the last must leave the screen open and the
    // choice alone. "window:" keys come from the window system, "touch" is a finger on
    // the sign-in button. before: a previous run on the same screen (1 signed in, 0 left), or -1.
    void choice_data() {
        columns<int, QString, int>({"before", "press", "choice"});
        // clang-format off
        QTest::newRow("key 0 signs in")               << -1 << "0"                        << 1;
        QTest::newRow("key 0 from the window system") << -1 << "window:0"                 << 1;
        QTest::newRow("touching the sign-in button")  << -1 << "touch"                    << 1;
        QTest::newRow("Escape leaves")                << -1 << "Esc"                      << 0;
        QTest::newRow("Escape after a sign-in run")   << 1  << "Esc"                      << 0;
        QTest::newRow("sign-in after leaving")        << 0  << "0"                        << 1;
        QTest::newRow("other keys are ignored")       << -1 << "1 2 5 9 Return Space Esc" << 0;
        // clang-format on
    }
    void choice() {
        QFETCH(int, before);
        QFETCH(QString, press);
        MemberManage screen; // the controller keeps one for good
        if (before >= 0)
            QCOMPARE(run(screen, [&] { keys(&screen, before ? "0" : "Esc"); }), before);
        screen.m_nChoice = 7;
        QStringList first = press.split(' ');
        const QString last = first.takeLast();
        const int got = run(screen, [&] {
            keys(&screen, first.join(' '));
            QVERIFY(screen.isVisible());
            QCOMPARE(screen.m_nChoice, 7);
            if (last == "touch")
                QTest::mouseClick(screen.findChild<QPushButton*>("btnVipSignin"), Qt::LeftButton);
            else if (last.startsWith("window:"))
                keys(screen.windowHandle(), last.mid(7));
            else
                keys(&screen, last);
        });
        QTEST(got, "choice");
        QTEST(screen.m_nChoice, "choice");
        QVERIFY(!screen.isVisible());
    }
};

QTEST_MAIN(TestMemberManage)
#include "tst_MemberManage.moc"
