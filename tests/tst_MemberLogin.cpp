#include "ui/MemberLogin.h"

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
} // namespace

class tst_MemberLogin : public QObject {
    Q_OBJECT
    // One instance for the whole suite, as the controller keeps one for the library's lifetime.
    MemberLogin dlg;
    QLineEdit* field() { return dlg.findChild<QLineEdit*>("txtVipCode"); }
    // The dialog itself when nothing holds the focus, so a lost focus fails a compare, not the run.
    QWidget* focused() { return QApplication::focusWidget() ? QApplication::focusWidget() : &dlg; }
    QString text(const char* name) {
        if (auto* label = dlg.findChild<QLabel*>(name))
            return label->text();
        return dlg.findChild<QPushButton*>(name)->text();
    }
    void typeIntoFocus(const QString& keys) {
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field()));
        QTest::keyClicks(focused(), keys);
    }

private slots:
    void confirmStep_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("empty field stays open") << "" << int(Qt::Key_Return) << 0;
        QTest::newRow("card number, Return") << "6222001234" << int(Qt::Key_Return) << 1;
        QTest::newRow("digits then a letter, Enter") << "13800138000a" << int(Qt::Key_Enter) << 1;
        QTest::newRow("name with blank") << "Li Lei" << int(Qt::Key_Return) << 1;
    }
    void confirmStep() {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(int, result);
        dlg.m_sInput = QStringLiteral("stale");
        bool openAfterKey = false;
        const int got = runAsCashier(
            &dlg, [&] { return dlg.Exec(QStringLiteral("会员验证")); },
            [&] {
                typeIntoFocus(typed);
                QTest::keyClick(focused(), Qt::Key(key));
                openAfterKey = dlg.isVisible();
                if (openAfterKey)
                    QTest::keyClick(focused(), Qt::Key_Escape);
            });
        QCOMPARE(got, result);
        QCOMPARE(openAfterKey, result == 0);
        QCOMPARE(dlg.m_sInput, typed);
    }

    void backingOutKeepsLastConfirmAttempt_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("btnClose") << "btnClose";
        QTest::newRow("btnReturn") << "btnReturn";
    }
    void backingOutKeepsLastConfirmAttempt() {
        QFETCH(QString, how);
        const auto exec = [&] { return dlg.Exec(); };
        QCOMPARE(runAsCashier(&dlg, exec, [&] { typeIntoFocus("777\r"); }), 1);
        QString fieldAtStart;
        const int result = runAsCashier(&dlg, exec, [&] {
            fieldAtStart = field()->text();
            typeIntoFocus("88");
            if (how == "Esc")
                QTest::keyClick(focused(), Qt::Key_Escape);
            else
                dlg.findChild<QPushButton*>(how)->click();
        });
        QCOMPARE(fieldAtStart, QString());
        QCOMPARE(result, 0);
        QCOMPARE(dlg.m_sInput, QStringLiteral("777"));
        QVERIFY(!dlg.isVisible());
    }

    // Rows alternate, so each run must set the echo mode and the field label afresh.
    void titleChoosesPasswordOrCode_data() {
        QTest::addColumn<QString>("title"); // "-": Exec() without arguments
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<QString>("shownHelp");
        QTest::addColumn<QString>("label");
        const QString help = QStringLiteral("会员：张三 请输入密码");
        const QString code = QStringLiteral("号码/姓名：");
        // clang-format off
        QTest::newRow("password")          << "会员密码验证"   << "会员密码验证"   << help << "密码：";
        QTest::newRow("member code")       << "会员验证"       << "会员验证"       << help << code;
        QTest::newRow("password again")    << "会员密码验证"   << "会员密码验证"   << help << "密码：";
        QTest::newRow("no arguments")      << "-"              << "会员登录"       << ""   << code;
        QTest::newRow("leading blank")     << " 会员密码验证"  << " 会员密码验证"  << help << code;
        QTest::newRow("inner blank")       << "会员密码 验证"  << "会员密码 验证"  << help << code;
        QTest::newRow("latin, other case") << "vip LOGIN"      << "vip LOGIN"      << help << code;
        // clang-format on
    }
    void titleChoosesPasswordOrCode() {
        QFETCH(QString, title);
        QFETCH(QString, shownTitle);
        QFETCH(QString, shownHelp);
        QFETCH(QString, label);
        QStringList shown;
        QLineEdit::EchoMode echo = QLineEdit::NoEcho;
        runAsCashier(
            &dlg, [&] { return title == "-" ? dlg.Exec() : dlg.Exec(title, shownHelp); },
            [&] {
                shown << text("lblModeName") << text("lblhelp") << text("lblCodeType");
                echo = field()->echoMode();
                QTest::keyClick(focused(), Qt::Key_Escape);
            });
        QCOMPARE(shown, QStringList({shownTitle, shownHelp, label}));
        QCOMPARE(echo, label == "密码：" ? QLineEdit::Password : QLineEdit::Normal);
    }

    void hiddenKeypadStillEditsTheEntry() {
        QStringList visible, seen;
        const int result = runAsCashier(
            &dlg, [&] { return dlg.Exec(); },
            [&] {
                for (const char* name : {"widgetkey", "btnReturn", "btnClose", "btn7", "btnOK"})
                    if (dlg.findChild<QWidget*>(name)->isVisible())
                        visible << name;
                for (const char* name :
                     {"btn7", "btn0", "btnUpdNum", "btn9", "btn5", "btn1", "btnBackSpace"}) {
                    dlg.findChild<QPushButton*>(name)->click();
                    seen << field()->text();
                }
                // A digit arriving at the panel instead of the field still goes into the entry.
                QTest::keyClick(dlg.findChild<QWidget*>("widgetback"), Qt::Key_3);
                seen << field()->text();
                dlg.findChild<QPushButton*>("btnOK")->click();
            });
        QCOMPARE(visible, QStringList());
        QCOMPARE(seen, QStringList({"7", "70", "", "9", "95", "951", "95", "953"}));
        QCOMPARE(result, 1);
        QCOMPARE(dlg.m_sInput, QStringLiteral("953"));
    }

    void rendersAsBottomPanel() {
        qApp->setStyleSheet("#widgetblackground{background:rgba(0,0,0,120)} #widgetback{background:white}"
                            "#widget_top{background:#1f6fb2} #lblModeName{color:white}"
                            "QLineEdit{border:1px solid #888}");
        QImage shot;
        QRect panel, entry;
        runAsCashier(
            &dlg, [&] { return dlg.Exec(QStringLiteral("会员密码验证"), QStringLiteral("会员：张三")); },
            [&] {
                QTest::keyClicks(focused(), "1234");
                QWidget* back = dlg.findChild<QWidget*>("widgetback");
                QWidget* center = dlg.findChild<QWidget*>("widgetpopcenter");
                panel = QRect(back->mapTo(&dlg, QPoint()), back->size());
                entry = QRect(center->mapTo(&dlg, QPoint()), center->size());
                shot = dlg.grab().toImage();
                QTest::keyClick(focused(), Qt::Key_Escape);
            });
        qApp->setStyleSheet(QString());
        const QSize screen = dlg.screen()->size();
        QCOMPARE(shot.size(), screen);
        QCOMPARE(panel.width(), screen.width());
        QCOMPARE(panel.bottom(), screen.height() - 1 - 28);
        QVERIFY(panel.height() <= 360);
        QCOMPARE(entry.width(), 352);
        QCOMPARE(entry.x() + entry.width() / 2, screen.width() / 2);
        if (qEnvironmentVariableIsSet("ZOVORDA_PNG_DIR"))
            shot.save(qEnvironmentVariable("ZOVORDA_PNG_DIR") + "/MemberLogin.png");
    }
};

QTEST_MAIN(tst_MemberLogin)
#include "tst_MemberLogin.moc"
