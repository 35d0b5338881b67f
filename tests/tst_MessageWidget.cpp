#include "ui/MessageWidget.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>
#include <functional>

// The message box blocks in its own modal loop, so every check runs from inside
// that loop; a watchdog rejects the box so a broken key handler fails instead of hanging.
class TestMessageWidget : public QObject {
    Q_OBJECT

    int runWhileShown(MessageWidget& box, const QString& text, int type, bool hint,
                      const std::function<void()>& cashier) {
        bool acted = false;
        QTimer::singleShot(20, &box, [&] {
            acted = true;
            cashier();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &box, &QDialog::reject);
        watchdog.start(5000);
        const int result = box.showMessage(text, type, hint);
        if (!acted)
            QTest::qFail("the message box was never shown", __FILE__, __LINE__);
        else if (!watchdog.isActive())
            QTest::qFail("the message box was still open after 5 s", __FILE__, __LINE__);
        return result;
    }

    static QStringList visibleButtons(MessageWidget& box) {
        QStringList names;
        for (const char* name : {"btncancel", "btnDetail", "btnok"})
            if (box.findChild<QPushButton*>(name)->isVisible())
                names << name;
        return names;
    }

    static QString caption(MessageWidget& box, const char* name) {
        return box.findChild<QPushButton*>(name)->text();
    }

private slots:
    void initTestCase() {
        qApp->setStyleSheet("#widgetblackground{background:rgba(0,0,0,120)}"
                            "#widget,#horizontalWidget{background:white}"
                            "#widget_2 QPushButton{background:#2d6cb5;color:white;border:1px solid white}");
    }

    void followsTheOverlayWindowConvention() {
        MessageWidget box;
        QCOMPARE(box.objectName(), QString("MessageWidget"));
        QVERIFY(box.parentWidget() == nullptr);
        const Qt::WindowFlags wanted = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
        QCOMPARE(box.windowFlags() & wanted, wanted);
        QCOMPARE(box.windowModality(), Qt::ApplicationModal);
        QVERIFY(box.testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(box.windowOpacity(), 1.0);
        QCOMPARE(box.findChild<QLabel*>("label_text")->wordWrap(), true);
    }

    void layoutPerType_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("detail");
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("captions"); // btncancel, btnDetail, btnok

        const QStringList form{"取消", "查询", "确定"};
        QTest::newRow("finished, keyed")
            << 1 << false << 0 << QStringList{"btnok"} << QStringList{"取消", "查询", "完成【1】"};
        QTest::newRow("finished, plain")
            << 0 << false << 0 << QStringList{"btnok"} << QStringList{"取消", "查询", "完成"};
        QTest::newRow("retry, keyed") << 1 << false << 1 << QStringList{"btncancel", "btnok"}
                                      << QStringList{"返回【0】", "查询", "重试【1】"};
        QTest::newRow("retry, plain")
            << 0 << false << 1 << QStringList{"btncancel", "btnok"} << QStringList{"返回", "查询", "重试"};
        QTest::newRow("bare notice") << 1 << true << 2 << QStringList{} << form;
        QTest::newRow("confirm, keyed")
            << 1 << false << 3 << QStringList{"btnok"} << QStringList{"取消【0】", "查询【2】", "确定【1】"};
        QTest::newRow("confirm, plain")
            << 0 << false << 3 << QStringList{"btnok"} << QStringList{"取消", "查询", "确定"};
        QTest::newRow("confirm with detail") << 1 << true << 3 << QStringList{"btnDetail", "btnok"}
                                             << QStringList{"取消【0】", "查询【2】", "确定【1】"};
        QTest::newRow("unknown caption style")
            << 5 << false << 1 << QStringList{"btncancel", "btnok"} << form;
    }

    void layoutPerType() {
        QFETCH(int, style);
        QFETCH(bool, detail);
        QFETCH(int, type);
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, captions);

        MessageWidget box(style, detail);
        QStringList shownButtons, shownCaptions;
        QString shownText;
        bool browserVisible = true;
        const int result = runWhileShown(box, "会员卡已过期", type, false, [&] {
            shownButtons = visibleButtons(box);
            shownCaptions =
                QStringList{caption(box, "btncancel"), caption(box, "btnDetail"), caption(box, "btnok")};
            shownText = box.findChild<QLabel*>("label_text")->text();
            browserVisible = box.findChild<QTextBrowser*>("textBrowser")->isVisible();
            QTest::keyClick(&box, Qt::Key_1);
        });
        QCOMPARE(result, 1);
        QCOMPARE(shownButtons, buttons);
        QCOMPARE(shownCaptions, captions);
        QCOMPARE(shownText, QString("会员卡已过期"));
        QVERIFY(!browserVisible);
    }

    void keys_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("queries");

        QTest::newRow("1 confirms") << 3 << int(Qt::Key_1) << true << 1 << 0;
        QTest::newRow("Return confirms") << 1 << int(Qt::Key_Return) << true << 1 << 0;
        QTest::newRow("Enter confirms") << 0 << int(Qt::Key_Enter) << true << 1 << 0;
        QTest::newRow("1 closes a bare notice") << 2 << int(Qt::Key_1) << true << 1 << 0;
        QTest::newRow("Return closes a bare notice") << 2 << int(Qt::Key_Return) << true << 1 << 0;
        QTest::newRow("0 backs out of a retry") << 1 << int(Qt::Key_0) << true << 0 << 0;
        QTest::newRow("0 without cancel button, finished") << 0 << int(Qt::Key_0) << false << 1 << 0;
        QTest::newRow("0 without cancel button, confirm") << 3 << int(Qt::Key_0) << false << 1 << 0;
        QTest::newRow("0 on a bare notice") << 2 << int(Qt::Key_0) << false << 1 << 0;
        QTest::newRow("Escape is ignored") << 1 << int(Qt::Key_Escape) << false << 1 << 0;
        QTest::newRow("other digits are ignored") << 1 << int(Qt::Key_5) << false << 1 << 0;
        QTest::newRow("2 queries, confirm") << 3 << int(Qt::Key_2) << false << 1 << 1;
        QTest::newRow("2 queries, bare notice") << 2 << int(Qt::Key_2) << false << 1 << 1;
    }

    void keys() {
        QFETCH(int, type);
        QFETCH(int, key);
        QFETCH(bool, closes);
        QFETCH(int, result);
        QFETCH(int, queries);

        MessageWidget box;
        QSignalSpy query(&box, &MessageWidget::SignQueryBillState);
        bool closed = false;
        const int got = runWhileShown(box, "会员不存在", type, false, [&] {
            QTest::keyClick(box.windowHandle(), Qt::Key(key));
            closed = !box.isVisible();
            if (!closed)
                QTest::keyClick(&box, Qt::Key_1);
        });
        QCOMPARE(closed, closes);
        QCOMPARE(got, result);
        QCOMPARE(query.count(), queries);
    }

    void touchingTheButtons() {
        MessageWidget box(1, true);
        QSignalSpy query(&box, &MessageWidget::SignQueryBillState);
        const int got = runWhileShown(box, "券已使用", 1, false, [&] {
            QTest::mouseClick(box.findChild<QPushButton*>("btncancel"), Qt::LeftButton);
        });
        QCOMPARE(got, 0);
        bool stillOpen = false;
        runWhileShown(box, "券已使用", 3, false, [&] {
            QTest::mouseClick(box.findChild<QPushButton*>("btnDetail"), Qt::LeftButton);
            stillOpen = box.isVisible();
            QTest::mouseClick(box.findChild<QPushButton*>("btnok"), Qt::LeftButton);
        });
        QVERIFY(stillOpen);
        QCOMPARE(query.count(), 1);
    }

    void hintLine_data() {
        QTest::addColumn<bool>("hint");
        QTest::newRow("shown") << true;
        QTest::newRow("hidden") << false;
    }

    void hintLine() {
        QFETCH(bool, hint);
        MessageWidget box;
        bool shown = !hint;
        QSize panel;
        runWhileShown(box, "支付成功", 3, hint, [&] {
            auto* label = box.findChild<QLabel*>("label");
            shown = label->isVisible();
            QCOMPARE(label->text(), QString("请点击合计，继续完成支付"));
            panel = box.findChild<QWidget*>("widget")->size();
            const QString dir = qEnvironmentVariable("ZOVORDA_PNG_DIR");
            if (hint && !dir.isEmpty())
                box.grab().save(dir + "/MessageWidget.png");
            QTest::keyClick(&box, Qt::Key_Return);
        });
        QCOMPARE(shown, hint);
        QCOMPARE(panel, QSize(360, 400));
    }

    void unknownTypeKeepsThePreviousMessage() {
        MessageWidget box;
        runWhileShown(box, "签到成功", 0, false, [&] { QTest::keyClick(&box, Qt::Key_1); });

        QTest::ignoreMessage(QtDebugMsg, "wrong type! MessageWidget::showMessage:default switch");
        QString text, okCaption;
        QStringList buttons;
        const int got = runWhileShown(box, "不应出现", 9, false, [&] {
            text = box.findChild<QLabel*>("label_text")->text();
            okCaption = caption(box, "btnok");
            buttons = visibleButtons(box);
            QTest::keyClick(&box, Qt::Key_Enter);
        });
        QCOMPARE(got, 1);
        QCOMPARE(text, QString("签到成功"));
        QCOMPARE(okCaption, QString("完成【1】"));
        QCOMPARE(buttons, QStringList{"btnok"});
    }
};

QTEST_MAIN(TestMessageWidget)
#include "tst_MessageWidget.moc"
