// The demo till's window, as a person at the counter ends it.
#include "PluginHost.h"
#include "TillWindow.h"

#include <QPushButton>
#include <QtTest>

class TestTillWindow : public QObject {
    Q_OBJECT

private slots:
    // Under a bare X server there is no window manager and no close button: Ctrl+Q, shown
    // on a button of its own, ends the till's event loop with status 0.
    void ctrlQEndsTheTill() {
        PluginHost plugin; // never called: nothing is rung up
        TillWindow till(plugin);
        till.show();
        QVERIFY(QTest::qWaitForWindowActive(&till));
        const QPushButton* quit = till.findChild<QPushButton*>("btnQuit");
        QVERIFY(quit && quit->isVisible());
        QCOMPARE(quit->text(), QStringLiteral("退出 Ctrl+Q"));
        QTimer::singleShot(0, &till, [&till] { QTest::keyClick(&till, Qt::Key_Q, Qt::ControlModifier); });
        // Should the key do nothing, the loop ends with 1 instead of hanging the run.
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        deadline.start(30000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(TestTillWindow)
#include "tst_TillWindow.moc"
