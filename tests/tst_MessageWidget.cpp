#include "support/Columns.h"
#include "support/DialogDriver.h"
#include "ui/MessageWidget.h"

using namespace Dialogs;

class TestMessageWidget : public QObject {
    Q_OBJECT

    static int show(MessageWidget& box, const QString& text, int type, const std::function<void()>& steps,
                    bool hint = false) {
        return runAsCashier(
            "MessageWidget", [&] { return box.showMessage(text, type, hint); }, steps);
    }

private slots:
    void initTestCase() {
        useTillStyle();
        MessageWidget box;
        QCOMPARE(conventionBreaks(&box, "MessageWidget"), QString());
        QVERIFY(box.findChild<QLabel*>("label_text")->wordWrap());
    }

    // shown: which of the buttons, the hint line and the detail text are visible.
    void layoutPerType_data() {
        columns<int, bool, int, bool, QString, QString>(
            {"style", "detail", "type", "hint", "shown", "captions"}); // btncancel|btnDetail|btnok
        // clang-format off
        QTest::newRow("finished, keyed")       << 1 << false << 0 << false << "btnok"           << "取消|查询|完成【1】";
        QTest::newRow("finished, plain")       << 0 << false << 0 << false << "btnok"           << "取消|查询|完成";
        QTest::newRow("retry, keyed")          << 1 << false << 1 << false << "btncancel|btnok" << "返回【0】|查询|重试【1】";
        QTest::newRow("retry, plain")          << 0 << false << 1 << false << "btncancel|btnok" << "返回|查询|重试";
        QTest::newRow("bare notice")           << 1 << true  << 2 << false << ""                << "取消|查询|确定";
        QTest::newRow("bare notice, hint")     << 1 << false << 2 << true  << "label"           << "取消|查询|确定";
        QTest::newRow("confirm, keyed")        << 1 << false << 3 << false << "btnok"           << "取消【0】|查询【2】|确定【1】";
        QTest::newRow("confirm, hint")         << 1 << false << 3 << true  << "btnok|label"     << "取消【0】|查询【2】|确定【1】";
        QTest::newRow("confirm, plain")        << 0 << false << 3 << false << "btnok"           << "取消|查询|确定";
        QTest::newRow("confirm with detail")   << 1 << true  << 3 << false << "btnDetail|btnok" << "取消【0】|查询【2】|确定【1】";
        QTest::newRow("unknown caption style") << 5 << false << 1 << false << "btncancel|btnok" << "取消|查询|确定";
        // clang-format on
    }
    void layoutPerType() {
        QFETCH(int, style);
        QFETCH(bool, detail);
        QFETCH(int, type);
        QFETCH(bool, hint);
        MessageWidget box(style, detail);
        const auto steps = [&] {
            QTEST(visible(&box, {"btncancel", "btnDetail", "btnok", "label", "textBrowser"}), "shown");
            QTEST(texts(&box, {"btncancel", "btnDetail", "btnok"}), "captions");
            QCOMPARE(texts(&box, {"label_text", "label"}), QString("会员卡已过期|请点击合计，继续完成支付"));
            QCOMPARE(box.findChild<QWidget*>("widget")->size(), QSize(360, 400));
            if (hint && type == 3)
                savePicture(box.grab().toImage(), "MessageWidget");
            QTest::keyClick(&box, Qt::Key_1);
        };
        QCOMPARE(show(box, "会员卡已过期", type, steps, hint), 1);
    }

    // A key name, or a button the cashier touches.
    void keysAndButtons_data() {
        columns<int, QString, bool, int, int>({"type", "press", "closes", "result", "queries"});
        // clang-format off
        QTest::newRow("1 confirms")                        << 3 << "1"         << true  << 1 << 0;
        QTest::newRow("Return confirms")                   << 1 << "Return"    << true  << 1 << 0;
        QTest::newRow("Enter confirms")                    << 0 << "Enter"     << true  << 1 << 0;
        QTest::newRow("1 closes a bare notice")            << 2 << "1"         << true  << 1 << 0;
        QTest::newRow("Return closes a bare notice")       << 2 << "Return"    << true  << 1 << 0;
        QTest::newRow("0 backs out of a retry")            << 1 << "0"         << true  << 0 << 0;
        QTest::newRow("0 without cancel button, finished") << 0 << "0"         << false << 1 << 0;
        QTest::newRow("0 without cancel button, confirm")  << 3 << "0"         << false << 1 << 0;
        QTest::newRow("0 on a bare notice")                << 2 << "0"         << false << 1 << 0;
        QTest::newRow("Escape is ignored")                 << 1 << "Esc"       << false << 1 << 0;
        QTest::newRow("other digits are ignored")          << 1 << "5"         << false << 1 << 0;
        QTest::newRow("2 queries, confirm")                << 3 << "2"         << false << 1 << 1;
        QTest::newRow("2 queries, bare notice")            << 2 << "2"         << false << 1 << 1;
        QTest::newRow("touching return")                   << 1 << "btncancel" << true  << 0 << 0;
        QTest::newRow("touching query")                    << 3 << "btnDetail" << false << 1 << 1;
        QTest::newRow("touching confirm")                  << 3 << "btnok"     << true  << 1 << 0;
        // clang-format on
    }
    void keysAndButtons() {
        QFETCH(int, type);
        QFETCH(QString, press);
        MessageWidget box(1, true);
        QSignalSpy queries(&box, &MessageWidget::SignQueryBillState);
        const int result = show(box, "会员不存在", type, [&] {
            if (press.startsWith("btn"))
                QTest::mouseClick(box.findChild<QPushButton*>(press), Qt::LeftButton);
            else
                keys(box.windowHandle(), press);
            QTEST(!box.isVisible(), "closes");
            if (box.isVisible())
                QTest::keyClick(&box, Qt::Key_1);
        });
        QTEST(result, "result");
        QTEST(int(queries.count()), "queries");
    }

    void unknownTypeKeepsThePreviousMessage() {
        MessageWidget box;
        show(box, "签到成功", 0, [&] { QTest::keyClick(&box, Qt::Key_1); });
        QTest::ignoreMessage(QtDebugMsg, "wrong type! MessageWidget::showMessage:default switch");
        const int result = show(box, "不应出现", 9, [&] {
            QCOMPARE(texts(&box, {"label_text", "btnok"}), QString("签到成功|完成【1】"));
            QCOMPARE(visible(&box, {"btncancel", "btnDetail", "btnok"}), QString("btnok"));
            QTest::keyClick(&box, Qt::Key_Enter);
        });
        QCOMPARE(result, 1);
    }
};

QTEST_MAIN(TestMessageWidget)
#include "tst_MessageWidget.moc"
