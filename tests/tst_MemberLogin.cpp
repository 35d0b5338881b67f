#include "support/Columns.h"
#include "support/DialogDriver.h"
#include "ui/MemberLogin.h"

using namespace Dialogs;

class tst_MemberLogin : public QObject {
    Q_OBJECT
    // One instance for the whole suite, as the controller keeps one for the library's lifetime.
    MemberLogin dlg;
    QLineEdit* field() { return dlg.findChild<QLineEdit*>("txtVipCode"); }
    int run(const std::function<void()>& steps, const std::function<int()>& exec = nullptr) {
        const auto plain = [&] { return dlg.Exec(); };
        return runAsCashier("MemberLogin", exec ? exec : plain, steps);
    }

private slots:
    void initTestCase() {
        useTillStyle();
        QCOMPARE(conventionBreaks(&dlg, "MemberLogin"), QString());
    }

    // Each run follows one that confirmed 777: the field starts empty, backing out keeps
    // 777 as the last attempt, and an empty confirm attempt counts but keeps the dialog open.
    void entry_data() {
        columns<QString, QString, int, QString>({"typed", "how", "result", "input"});
        // clang-format off
        QTest::newRow("empty field stays open")      << ""             << "Return"    << 0 << "";
        QTest::newRow("card number, Return")         << "6222001234"   << "Return"    << 1 << "6222001234";
        QTest::newRow("digits then a letter, Enter") << "13800138000a" << "Enter"     << 1 << "13800138000a";
        QTest::newRow("name with blank")             << "Li Lei"       << "Return"    << 1 << "Li Lei";
        QTest::newRow("Esc backs out")               << "88"           << "Esc"       << 0 << "777";
        QTest::newRow("btnClose backs out")          << "88"           << "btnClose"  << 0 << "777";
        QTest::newRow("btnReturn backs out")         << "88"           << "btnReturn" << 0 << "777";
        // clang-format on
    }
    void entry() {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QCOMPARE(run([&] { typeInto(field(), "777\r"); }), 1);
        const int result = run([&] {
            QCOMPARE(field()->text(), QString());
            typeInto(field(), typed);
            if (how.startsWith("btn"))
                dlg.findChild<QPushButton*>(how)->click();
            else
                keys(field(), how);
            QCOMPARE(dlg.isVisible(), typed.isEmpty());
            if (dlg.isVisible())
                QTest::keyClick(field(), Qt::Key_Escape);
        });
        QTEST(result, "result");
        QTEST(dlg.m_sInput, "input");
        QVERIFY(!dlg.isVisible());
    }

    // Rows alternate, so each run must set the echo mode and the field label afresh.
    // title "-": Exec() without arguments; shown: title|help|field label.
    void titleChoosesPasswordOrCode_data() {
        columns<QString, QString>({"title", "shown"});
        // clang-format off
        QTest::newRow("password")          << "会员密码验证"  << "会员密码验证|会员：张三 请输入密码|密码：";
        QTest::newRow("member code")       << "会员验证"      << "会员验证|会员：张三 请输入密码|号码/姓名：";
        QTest::newRow("password again")    << "会员密码验证"  << "会员密码验证|会员：张三 请输入密码|密码：";
        QTest::newRow("no arguments")      << "-"             << "会员登录||号码/姓名：";
        QTest::newRow("leading blank")     << " 会员密码验证" << " 会员密码验证|会员：张三 请输入密码|号码/姓名：";
        QTest::newRow("inner blank")       << "会员密码 验证" << "会员密码 验证|会员：张三 请输入密码|号码/姓名：";
        QTest::newRow("latin, other case") << "vip LOGIN"     << "vip LOGIN|会员：张三 请输入密码|号码/姓名：";
        // clang-format on
    }
    void titleChoosesPasswordOrCode() {
        QFETCH(QString, title);
        QFETCH(QString, shown);
        run(
            [&] {
                QCOMPARE(texts(&dlg, {"lblModeName", "lblhelp", "lblCodeType"}), shown);
                QCOMPARE(field()->echoMode(),
                         shown.endsWith("|密码：") ? QLineEdit::Password : QLineEdit::Normal);
                QTest::keyClick(field(), Qt::Key_Escape);
            },
            [&] { return title == "-" ? dlg.Exec() : dlg.Exec(title, "会员：张三 请输入密码"); });
    }

    void hiddenKeypadStillEditsTheEntry() {
        QStringList seen;
        const int result = run([&] {
            QCOMPARE(visible(&dlg, {"widgetkey", "btnReturn", "btnClose", "btn7", "btnOK"}), QString());
            for (const char* name : {"btn7", "btn0", "btnUpdNum", "btn9", "btn5", "btn1", "btnBackSpace"}) {
                dlg.findChild<QPushButton*>(name)->click();
                seen << field()->text();
            }
            // A digit arriving at the panel instead of the field still goes into the entry.
            QTest::keyClick(dlg.findChild<QWidget*>("widgetback"), Qt::Key_3);
            seen << field()->text();
            dlg.findChild<QPushButton*>("btnOK")->click();
        });
        QCOMPARE(seen, QStringList({"7", "70", "", "9", "95", "951", "95", "953"}));
        QCOMPARE(result, 1);
        QCOMPARE(dlg.m_sInput, QStringLiteral("953"));
    }

    void rendersAsBottomPanel() {
        const QSize screen = dlg.screen()->size();
        run(
            [&] {
                QTest::keyClicks(field(), "1234");
                const QRect panel = rectIn(&dlg, "widgetback"), entry = rectIn(&dlg, "widgetpopcenter");
                QCOMPARE(panel.width(), screen.width());
                QCOMPARE(panel.bottom(), screen.height() - 1 - 28);
                QVERIFY(panel.height() <= 360);
                QCOMPARE(entry.width(), 352);
                QCOMPARE(entry.x() + entry.width() / 2, screen.width() / 2);
                const QImage shot = dlg.grab().toImage();
                QCOMPARE(shot.size(), screen);
                savePicture(shot, "MemberLogin");
                QTest::keyClick(field(), Qt::Key_Escape);
            },
            [&] { return dlg.Exec("会员密码验证", "会员：张三"); });
    }
};

QTEST_MAIN(tst_MemberLogin)
#include "tst_MemberLogin.moc"
