// The cashier robot against the plug-in's own dialogs.

#include "support/CashierRobot.h"
#include "support/Columns.h"
#include "ui/CouponWidget.h"
#include "ui/JFPayWidget.h"
#include "ui/MemberLogin.h"
#include "ui/MemberManage.h"
#include "ui/MessageWidget.h"
#include "ui/WaitWidget.h"

#include <QtTest>
#include <QtWidgets>

Q_DECLARE_METATYPE(CashierRobot::Action)

namespace {

// One of the plug-in's dialogs (none for an empty name); `input` gets what was keyed.
int runDialog(const QString& name, QString* input = nullptr) {
    MemberLogin login;
    JFPayWidget pay;
    // clang-format off
    const int result = name.isEmpty()          ? 0
                     : name == "MessageWidget" ? MessageWidget().showMessage("签到成功", 0, false)
                     : name == "CouponWidget"  ? CouponWidget().Exec()
                     : name == "MemberLogin"   ? login.Exec()
                     : name == "JFPayWidget"   ? pay.Exec("88.00", "50.00")
                                               : MemberManage().Exec();
    // clang-format on
    if (input)
        *input = name == "MemberLogin" ? login.m_sInput : pay.m_sInput;
    return result;
}

} // namespace

class tst_CashierRobot : public QObject {
    Q_OBJECT

private slots:
    // The CRM wait screen comes and goes before the dialog, taking the focus with it.
    void cashierActsInsideTheDialog_data() {
        columns<QString, CashierRobot::Action, int, QString>({"dialog", "action", "result", "input"});
        using R = CashierRobot;
        // clang-format off
        QTest::newRow("type and Enter")              << "MemberLogin"   << R::typeAndEnter("123456")                              << 1 << "123456";
        QTest::newRow("Escape backs out")            << "MemberLogin"   << R::press(Qt::Key_Escape)                               << 0 << "";
        QTest::newRow("keys")                        << "JFPayWidget"   << R::keys({Qt::Key_5, Qt::Key_0, Qt::Key_Return})        << 1 << "50";
        QTest::newRow("sequence")                    << "MemberLogin"   << R::sequence({R::press(Qt::Key_7), R::typeAndEnter("8")}) << 1 << "78";
        // Letters reach the entry only if the robot hands it the focus back.
        QTest::newRow("focus handed back")           << "MemberLogin"   << R::sequence({[](QWidget* d) { d->setFocus(); }, R::typeAndEnter("Li")}) << 1 << "Li";
        QTest::newRow("message closed with 1")       << "MessageWidget" << R::press(Qt::Key_1)                                    << 1 << "";
        QTest::newRow("coupon rejected with Escape") << "CouponWidget"  << R::press(Qt::Key_Escape)                               << 0 << "";
        // clang-format on
    }
    void cashierActsInsideTheDialog() {
        QFETCH(QString, dialog);
        QFETCH(CashierRobot::Action, action);
        CashierRobot robot;
        robot.when(dialog, action);
        {
            WaitWidget wait;
            wait.showFullScreen();
            QTest::qWait(20);
        }
        QString input;
        QTEST(runDialog(dialog, &input), "result");
        QTEST(input, "input");
        VERIFY_ROBOT(robot);
    }

    void unexpectedDialogIsDismissedAndReported_data() {
        columns<QString, QString, int, QString>({"expected", "shown", "result", "failures"});
        // clang-format off
        QTest::newRow("message, nothing expected") << "" << "MessageWidget" << 1 << "unexpected MessageWidget \"签到成功\" (expected nothing)";
        QTest::newRow("entry instead of another")  << "VipSelection" << "MemberLogin" << 0
                                                   << "unexpected MemberLogin (expected VipSelection)\nexpected VipSelection never shown";
        QTest::newRow("nothing shown")             << "VipSelection" << "" << 0 << "expected VipSelection never shown";
        QTest::newRow("coupon dialog")             << "" << "CouponWidget" << 0 << "unexpected CouponWidget (expected nothing)";
        // clang-format on
    }
    void unexpectedDialogIsDismissedAndReported() {
        QFETCH(QString, expected);
        QFETCH(QString, shown);
        CashierRobot robot;
        if (!expected.isEmpty())
            robot.when(expected, CashierRobot::press(Qt::Key_Return));
        QCOMPARE(robot.pending(), int(!expected.isEmpty()));
        QTEST(runDialog(shown), "result");
        QVERIFY(!robot.allDone());
        QTEST(robot.failures(), "failures");
    }

    void messageTextIsComparedExactly_data() {
        columns<QString, QString, QString>({"expected", "shown", "failures"});
        // clang-format off
        QTest::newRow("same")           << "签到成功"    << "签到成功"   << "";
        QTest::newRow("different")      << "签到成功"    << "签到失败"   << "MessageWidget shows \"签到失败\", expected \"签到成功\"";
        QTest::newRow("trailing blank") << "会员不存在 " << "会员不存在" << "MessageWidget shows \"会员不存在\", expected \"会员不存在 \"";
        // clang-format on
    }
    void messageTextIsComparedExactly() {
        QFETCH(QString, expected);
        QFETCH(QString, shown);
        CashierRobot robot;
        robot.expectMessage(expected);
        QCOMPARE(MessageWidget().showMessage(shown, 3, false), 1);
        QCOMPARE(robot.seenTexts(), QStringList{shown});
        QTEST(robot.failures(), "failures");
        QCOMPARE(robot.pending(), 0);
    }

    // Each coupon is checked while the coupon dialog waits in its own loop, and the answer
    // comes in a message box on top.
    void messageInsideTheCouponDialogIsHandledInTurn() {
        using R = CashierRobot;
        CashierRobot robot;
        robot
            .when("CouponWidget",
                  R::sequence({R::typeAndEnter("C001"), R::typeAndEnter("C002"), R::press(Qt::Key_Escape)}))
            .expectMessage("券C001可用")
            .expectMessage("券C002可用");
        CouponWidget coupon;
        QStringList checked;
        connect(&coupon, &CouponWidget::SignCouponCheck, this, [&](const QString& no) {
            checked << no;
            MessageWidget().showMessage("券" + no + "可用", 0, false);
        });
        QCOMPARE(coupon.Exec(), int(QDialog::Rejected));
        QCOMPARE(checked, (QStringList{"C001", "C002"}));
        QCOMPARE(robot.seenTexts(), (QStringList{"券C001可用", "券C002可用"}));
        VERIFY_ROBOT(robot);
    }

    void watchdogDismissesADialogLeftOpen_data() {
        QTest::addColumn<bool>("deafToEscape");
        QTest::newRow("backs out on Escape") << false;
        QTest::newRow("deaf to Escape: closed") << true;
    }
    void watchdogDismissesADialogLeftOpen() {
        QFETCH(bool, deafToEscape);
        CashierRobot robot;
        robot.setWatchdogMs(200);
        robot.when("MemberManage", [](QWidget*) {}); // the cashier walks away
        QElapsedTimer clock;
        clock.start();
        if (deafToEscape) {
            auto* deaf = new QWidget; // closed outright once Escape did nothing
            deaf->setObjectName("MemberManage");
            deaf->setAttribute(Qt::WA_DeleteOnClose);
            QEventLoop loop;
            connect(deaf, &QObject::destroyed, &loop, &QEventLoop::quit);
            deaf->show();
            loop.exec();
        } else {
            QCOMPARE(MemberManage().Exec(), 0);
        }
        QVERIFY2(clock.elapsed() >= 200 && clock.elapsed() < 2000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(robot.failures(), "MemberManage still open after 200 ms, dismissed");
    }
};

QTEST_MAIN(tst_CashierRobot)
#include "tst_CashierRobot.moc"
