#include "support/DialogDriver.h"
#include "ui/WaitWidget.h"

using namespace Dialogs;

static QStringList g_messages;

class TestWaitWidget : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useTillStyle(); }

    void isAnOverlayOfItsOwn() {
        QWidget host;
        WaitWidget wait(&host);
        QCOMPARE(conventionBreaks(&wait, "WaitWidget"), QString());
    }

    // The busy image belongs to the host; the test has none, so the label must quietly stay empty.
    void messagesAndBusyImage() {
        g_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { g_messages << text; });
        WaitWidget wait;
        QCOMPARE(texts(&wait, {"label_text", "lbldot"}), QString("请稍等，操作中|"));
        wait.SetMessage("请稍等，处理中...");
        QCOMPARE(texts(&wait, {"label_text"}), QString("请稍等，处理中..."));
        wait.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&wait));
        QTest::qWait(100);
        auto* busy = wait.findChild<QLabel*>("busyWidget");
        QVERIFY(busy->movie() != nullptr);
        QCOMPARE(busy->movie()->fileName(), QString(":/Images/busy.gif"));
        QVERIFY(busy->hasScaledContents());
        QCOMPARE(busy->text(), QString());
        QCOMPARE(wait.findChild<QWidget*>("horizontalWidget")->size(), QSize(360, 200));
        savePicture(wait.grab().toImage(), "WaitWidget");
        wait.close();
        QVERIFY(!wait.isVisible());
        qInstallMessageHandler(previous);
        // What the offscreen platform says about raising windows is not ours.
        QCOMPARE(g_messages.filter(QRegularExpression("^(?!This plugin does not support)")), QStringList());
    }
};

QTEST_MAIN(TestWaitWidget)
#include "tst_WaitWidget.moc"
