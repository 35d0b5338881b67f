#include "ui/WaitWidget.h"

#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
QStringList g_messages;
void collect(QtMsgType, const QMessageLogContext&, const QString& text) {
    g_messages << text;
}
} // namespace

class TestWaitWidget : public QObject {
    Q_OBJECT

    static QString text(WaitWidget& wait, const char* name) { return wait.findChild<QLabel*>(name)->text(); }

private slots:
    void initTestCase() {
        qApp->setStyleSheet("#widgetblackground{background:rgba(0,0,0,120)}"
                            "#horizontalWidget{background:white}");
    }

    void isAnOverlayOfItsOwn() {
        QWidget host;
        WaitWidget wait(&host);
        QCOMPARE(wait.objectName(), QString("WaitWidget"));
        QVERIFY(wait.parentWidget() == nullptr);
        const Qt::WindowFlags wanted = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
        QCOMPARE(wait.windowFlags() & wanted, wanted);
        QCOMPARE(wait.windowModality(), Qt::ApplicationModal);
        QVERIFY(wait.testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(wait.windowOpacity(), 1.0);
    }

    void messages() {
        WaitWidget wait;
        QCOMPARE(text(wait, "label_text"), QString("请稍等，操作中"));
        QCOMPARE(text(wait, "lbldot"), QString());
        wait.SetMessage("请稍等，处理中...");
        QCOMPARE(text(wait, "label_text"), QString("请稍等，处理中..."));
        wait.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&wait));
        QCOMPARE(wait.findChild<QWidget*>("horizontalWidget")->size(), QSize(360, 200));
        const QString dir = qEnvironmentVariable("ZOVORDA_PNG_DIR");
        if (!dir.isEmpty())
            wait.grab().save(dir + "/WaitWidget.png");
        wait.close();
        QVERIFY(!wait.isVisible());
    }

    // The busy image belongs to the host; the test has none, so the label must
    // quietly stay empty.
    void missingBusyImageLeavesTheLabelEmpty() {
        g_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collect);
        {
            WaitWidget wait;
            wait.showFullScreen();
            QTest::qWait(100);
            auto* busy = wait.findChild<QLabel*>("busyWidget");
            QVERIFY(busy->movie() != nullptr);
            QCOMPARE(busy->movie()->fileName(), QString(":/Images/busy.gif"));
            QVERIFY(busy->hasScaledContents());
            QCOMPARE(busy->text(), QString());
            wait.close();
        }
        qInstallMessageHandler(previous);
        // What the offscreen platform says about raising windows is not ours.
        g_messages.erase(
            std::remove_if(g_messages.begin(), g_messages.end(),
                           [](const QString& m) { return m.startsWith("This plugin does not support"); }),
            g_messages.end());
        QCOMPARE(g_messages, QStringList());
    }

    // While the overlay is up the cashier cannot reach the host's own buttons.
    void blocksTheHostWhileShown() {
        QPushButton host("结算");
        host.resize(200, 100);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QSignalSpy clicked(&host, &QPushButton::clicked);

        auto* wait = new WaitWidget;
        wait->showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(wait));
        QTest::mouseClick(host.windowHandle(), Qt::LeftButton, {}, QPoint(100, 50));
        QCOMPARE(clicked.count(), 0);

        wait->close();
        delete wait;
        QTest::mouseClick(host.windowHandle(), Qt::LeftButton, {}, QPoint(100, 50));
        QCOMPARE(clicked.count(), 1);
    }
};

QTEST_MAIN(TestWaitWidget)
#include "tst_WaitWidget.moc"
