#include "ui/MemberManage.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

// The screen blocks in its own loop; the cashier acts from a timer inside it and a
// watchdog closes the screen so a broken key handler fails instead of hanging.
class TestMemberManage : public QObject {
    Q_OBJECT

    int runWhileShown(MemberManage& screen, const std::function<void()>& cashier) {
        bool acted = false;
        QTimer::singleShot(20, &screen, [&] {
            acted = true;
            cashier();
        });
        bool timedOut = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &screen, [&] {
            timedOut = true;
            screen.on_btnClose_clicked();
        });
        watchdog.start(5000);
        const int choice = screen.Exec();
        if (!acted)
            QTest::qFail("the management screen was never shown", __FILE__, __LINE__);
        if (timedOut)
            QTest::qFail("the management screen was still open after 5 s", __FILE__, __LINE__);
        return choice;
    }

private slots:
    void initTestCase() {
        qApp->setStyleSheet("#widgetblackground{background:rgba(0,0,0,120)}"
                            "#widgetback{background:rgb(45,108,181)}"
                            "#widgetpopback{background:white}"
                            "#lblModeName{color:white}"
                            "#btnVipSignin{background:rgb(45,108,181);color:white;border-radius:6px}");
    }

    void followsTheOverlayWindowConvention() {
        MemberManage screen;
        QCOMPARE(screen.objectName(), QString("MemberManage"));
        const Qt::WindowFlags wanted = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
        QCOMPARE(screen.windowFlags() & wanted, wanted);
        QCOMPARE(screen.windowModality(), Qt::ApplicationModal);
        QVERIFY(screen.testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(screen.windowOpacity(), 1.0);
    }

    void offersOnlyTheSignIn() {
        MemberManage screen;
        QStringList visible;
        QString title, action, help;
        QSize panel;
        runWhileShown(screen, [&] {
            for (const char* name : {"btnReturn", "lblModeName", "btnClose", "btnVipSignin"})
                if (screen.findChild<QPushButton*>(name)->isVisible())
                    visible << name;
            title = screen.findChild<QPushButton*>("lblModeName")->text();
            action = screen.findChild<QPushButton*>("btnVipSignin")->text();
            help = screen.findChild<QLabel*>("lblhelp1")->text();
            panel = screen.findChild<QWidget*>("widgetback")->size();
            const QString dir = qEnvironmentVariable("ZOVORDA_PNG_DIR");
            if (!dir.isEmpty())
                screen.grab().save(dir + "/MemberManage.png");
            QTest::keyClick(&screen, Qt::Key_Escape);
        });
        QCOMPARE(visible, (QStringList{"lblModeName", "btnVipSignin"}));
        QCOMPARE(title, QString("会员管理"));
        QCOMPARE(action, QString("签到（0）"));
        QCOMPARE(help, QString("【ESC】：返回"));
        QCOMPARE(panel.height(), 332);
    }

    void choice_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("choice");

        QTest::newRow("key 0 signs in") << 0 << "key 0" << 1;
        QTest::newRow("key 0 from the window system") << 0 << "window key 0" << 1;
        QTest::newRow("touching the sign-in button") << 0 << "touch" << 1;
        QTest::newRow("Escape leaves") << 0 << "Escape" << 0;
        QTest::newRow("Escape after a sign-in run") << 1 << "Escape" << 0;
        QTest::newRow("sign-in after leaving") << -1 << "key 0" << 1;
    }

    void choice() {
        QFETCH(int, before);
        QFETCH(QString, action);
        QFETCH(int, choice);

        MemberManage screen;
        // A previous run on the same screen, as the controller keeps one for good.
        if (before == 1)
            QCOMPARE(runWhileShown(screen, [&] { QTest::keyClick(&screen, Qt::Key_0); }), 1);
        else if (before == -1)
            QCOMPARE(runWhileShown(screen, [&] { QTest::keyClick(&screen, Qt::Key_Escape); }), 0);

        const int got = runWhileShown(screen, [&] {
            if (action == "window key 0")
                QTest::keyClick(screen.windowHandle(), Qt::Key_0);
            else if (action == "touch")
                QTest::mouseClick(screen.findChild<QPushButton*>("btnVipSignin"), Qt::LeftButton);
            else
                QTest::keyClick(&screen, action == "Escape" ? Qt::Key_Escape : Qt::Key_0);
        });
        QCOMPARE(got, choice);
        QCOMPARE(screen.m_nChoice, choice);
        QVERIFY(!screen.isVisible());
    }

    void otherKeysAreIgnored() {
        MemberManage screen;
        screen.m_nChoice = 7;
        bool stayedOpen = false;
        int choiceMeanwhile = -1;
        const int got = runWhileShown(screen, [&] {
            for (Qt::Key key : {Qt::Key_1, Qt::Key_2, Qt::Key_5, Qt::Key_9, Qt::Key_Return, Qt::Key_Space})
                QTest::keyClick(&screen, key);
            stayedOpen = screen.isVisible();
            choiceMeanwhile = screen.m_nChoice;
            QTest::keyClick(&screen, Qt::Key_Escape);
        });
        QVERIFY(stayedOpen);
        QCOMPARE(choiceMeanwhile, 7);
        QCOMPARE(got, 0);
    }
};

QTEST_MAIN(TestMemberManage)
#include "tst_MemberManage.moc"
