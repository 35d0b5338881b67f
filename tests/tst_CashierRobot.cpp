// The cashier robot against small stand-in windows that block the way the plug-in's
// dialogs do: a QDialog run with exec(), and a QWidget with its own QEventLoop.

#include "support/CashierRobot.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

Q_DECLARE_METATYPE(CashierRobot::Action)

namespace {

// Closes on 1 or Return and ignores Escape, like the till's message box.
class StandInMessage : public QDialog {
public:
    StandInMessage() {
        setObjectName("MessageWidget");
        label = new QLabel(this);
        label->setObjectName("label_text");
    }
    int showMessage(const QString& text) {
        label->setText(text);
        show();
        return exec();
    }
    QLabel* label;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_1 || e->key() == Qt::Key_Return)
            accept();
    }
};

// An entry screen with its own loop: Return confirms, Escape backs out. The focus sits
// on a button at first, so keys only reach the field if the robot hands it the focus.
class StandInEntry : public QWidget {
public:
    explicit StandInEntry(const QString& name, bool ignoreEscape = false) : ignoreEscape_(ignoreEscape) {
        setObjectName(name);
        auto* layout = new QVBoxLayout(this);
        auto* button = new QPushButton("OK", this);
        layout->addWidget(button);
        layout->addWidget(edit = new QLineEdit(this));
    }
    int run() {
        show();
        findChild<QPushButton*>()->setFocus();
        const int r = loop_.exec();
        hide();
        return r;
    }
    QLineEdit* edit;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape && !ignoreEscape_)
            loop_.exit(0);
        else if (e->key() == Qt::Key_Return)
            loop_.exit(1);
    }
    void closeEvent(QCloseEvent*) override { loop_.exit(0); }

private:
    bool ignoreEscape_;
    QEventLoop loop_;
};

// A coupon dialog: Return checks the keyed coupon and reports it in a message box
// on top, staying open for the next coupon; Escape rejects.
class StandInCoupon : public QDialog {
public:
    StandInCoupon() {
        setObjectName("CouponWidget");
        (new QVBoxLayout(this))->addWidget(edit = new QLineEdit(this));
    }
    QLineEdit* edit;
    QStringList checked;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() != Qt::Key_Return)
            return QDialog::keyPressEvent(e);
        checked << edit->text();
        StandInMessage().showMessage("券" + edit->text() + "可用");
        edit->clear();
    }
};

int runDialog(const QString& name, QString* input = nullptr) {
    if (name == "MessageWidget")
        return StandInMessage().showMessage("签到成功");
    if (name == "CouponWidget") {
        StandInCoupon coupon;
        return coupon.exec();
    }
    StandInEntry entry(name);
    const int r = entry.run();
    if (input)
        *input = entry.edit->text();
    return r;
}

// The CRM wait screen comes and goes between dialogs, taking the focus with it.
void flashWaitScreen() {
    QWidget wait;
    wait.setObjectName("WaitWidget");
    wait.show();
    wait.activateWindow();
    QTest::qWait(20);
}

} // namespace

class tst_CashierRobot : public QObject {
    Q_OBJECT

private slots:
    void cashierActsInsideTheDialog_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<CashierRobot::Action>("action");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("input");
        using R = CashierRobot;

        QTest::newRow("type and Enter") << "MemberLogin" << R::typeAndEnter("123456") << 1 << "123456";
        QTest::newRow("Escape backs out") << "MemberLogin" << R::press(Qt::Key_Escape) << 0 << "";
        QTest::newRow("keys") << "JFPayWidget" << R::keys({Qt::Key_5, Qt::Key_0, Qt::Key_Return}) << 1
                              << "50";
        QTest::newRow("sequence") << "VipSelection"
                                  << R::sequence({R::press(Qt::Key_7), R::typeAndEnter("8")}) << 1 << "78";
        QTest::newRow("message closed with 1") << "MessageWidget" << R::press(Qt::Key_1) << 1 << "";
        QTest::newRow("coupon rejected with Escape") << "CouponWidget" << R::press(Qt::Key_Escape) << 0 << "";
    }

    void cashierActsInsideTheDialog() {
        QFETCH(QString, dialog);
        QFETCH(CashierRobot::Action, action);
        CashierRobot robot;
        robot.when(dialog, action);

        flashWaitScreen();
        QString input;
        QTEST(runDialog(dialog, &input), "result");
        QTEST(input, "input");
        VERIFY_ROBOT(robot);
    }

    void unexpectedDialogIsDismissedAndReported_data() {
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("failures");

        QTest::newRow("message, nothing expected")
            << ""
            << "MessageWidget" << 1 << "unexpected MessageWidget \"签到成功\" (expected nothing)";
        QTest::newRow("entry instead of another")
            << "VipSelection"
            << "MemberLogin" << 0
            << "unexpected MemberLogin (expected VipSelection)\nexpected VipSelection never shown";
        QTest::newRow("coupon dialog") << ""
                                       << "CouponWidget" << 0 << "unexpected CouponWidget (expected nothing)";
    }

    void unexpectedDialogIsDismissedAndReported() {
        QFETCH(QString, expected);
        QFETCH(QString, shown);
        CashierRobot robot;
        if (!expected.isEmpty())
            robot.when(expected, CashierRobot::press(Qt::Key_Return));

        QTEST(runDialog(shown), "result");
        QVERIFY(!robot.allDone());
        QTEST(robot.failures(), "failures");
    }

    void messageTextIsComparedExactly_data() {
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("failures");

        QTest::newRow("same") << "签到成功"
                              << "签到成功"
                              << "";
        QTest::newRow("different") << "签到成功"
                                   << "签到失败"
                                   << "MessageWidget shows \"签到失败\", expected \"签到成功\"";
        QTest::newRow("trailing blank") << "会员不存在 "
                                        << "会员不存在"
                                        << "MessageWidget shows \"会员不存在\", expected \"会员不存在 \"";
    }

    void messageTextIsComparedExactly() {
        QFETCH(QString, expected);
        QFETCH(QString, shown);
        CashierRobot robot;
        robot.expectMessage(expected);

        QCOMPARE(StandInMessage().showMessage(shown), 1);
        QCOMPARE(robot.seenTexts(), QStringList{shown});
        QTEST(robot.failures(), "failures");
        QCOMPARE(robot.pending(), 0);
    }

    void expectedDialogsNeverShownAreReported() {
        CashierRobot robot;
        robot.when("VipSelection", CashierRobot::press(Qt::Key_Return)).expectMessage("签到成功");
        QCOMPARE(robot.pending(), 2);
        QVERIFY(!robot.allDone());
        QCOMPARE(robot.failures(), "expected VipSelection never shown\nexpected MessageWidget never shown");
    }

    void messageInsideTheCouponDialogIsHandledInTurn() {
        CashierRobot robot;
        using R = CashierRobot;
        robot
            .when("CouponWidget",
                  R::sequence({R::typeAndEnter("C001"), R::typeAndEnter("C002"), R::press(Qt::Key_Escape)}))
            .expectMessage("券C001可用")
            .expectMessage("券C002可用");

        StandInCoupon coupon;
        QCOMPARE(coupon.exec(), int(QDialog::Rejected));
        QCOMPARE(coupon.checked, (QStringList{"C001", "C002"}));
        QCOMPARE(robot.seenTexts(), (QStringList{"券C001可用", "券C002可用"}));
        VERIFY_ROBOT(robot);
    }

    void watchdogDismissesADialogLeftOpen_data() {
        QTest::addColumn<bool>("ignoresEscape");
        QTest::newRow("backs out on Escape") << false;
        QTest::newRow("deaf to Escape: closed") << true;
    }

    void watchdogDismissesADialogLeftOpen() {
        QFETCH(bool, ignoresEscape);
        CashierRobot robot;
        robot.setWatchdogMs(200);
        robot.when("MemberManage", [](QWidget*) {}); // the cashier walks away

        StandInEntry screen("MemberManage", ignoresEscape);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(screen.run(), 0);
        QVERIFY2(clock.elapsed() >= 200 && clock.elapsed() < 2000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(robot.failures(), "MemberManage still open after 200 ms, dismissed");
    }
};

QTEST_MAIN(tst_CashierRobot)
#include "tst_CashierRobot.moc"
