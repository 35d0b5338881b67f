#include "ui/VipSelection.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

// The list blocks in its own loop; the cashier acts from a timer inside it and a
// watchdog closes the list so a broken key handler fails instead of hanging.
class TestVipSelection : public QObject {
    Q_OBJECT

    std::unique_ptr<VipSelection> m_list;
    QList<MemberRec> m_members;

    QTableView* table() const { return m_list->findChild<QTableView*>("tableView"); }

    QList<MemberRec*> candidates(int count) {
        QList<MemberRec*> list;
        for (int i = 0; i < count; ++i)
            list << &m_members[i];
        return list;
    }

    int runWhileShown(const QList<MemberRec*>& list, const std::function<void()>& cashier) {
        bool acted = false;
        QTimer::singleShot(20, m_list.get(), [&] {
            acted = true;
            cashier();
        });
        bool timedOut = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, m_list.get(), [&] {
            timedOut = true;
            m_list->on_btnClose_clicked();
        });
        watchdog.start(5000);
        const int result = m_list->SelectMember(list);
        if (!acted)
            QTest::qFail("the member list was never shown", __FILE__, __LINE__);
        if (timedOut)
            QTest::qFail("the member list was still open after 5 s", __FILE__, __LINE__);
        return result;
    }

private slots:
    void initTestCase() {
        qApp->setStyleSheet("#widgetblackground{background:rgba(0,0,0,120)}"
                            "#widgetback{background:rgb(45,108,181)}"
                            "#widgetpopback{background:white}");
        QApplication::setFont(QFont(QApplication::font().family(), 9)); // the till's usual size
        const char* rows[][4] = {{"张三", "13800000001", "V0001", "和平路1号"},
                                 {"李四", "13800000002", "V0002", "解放大道200号"},
                                 {"王五", "13800000003", "V0003", "中山北路35号3栋"}};
        for (const auto& row : rows) {
            MemberRec member;
            member.name = row[0];
            member.phone = row[1];
            member.code = row[2];
            member.address = row[3];
            m_members << member;
        }
        m_list.reset(new VipSelection);
    }

    void followsTheOverlayWindowConvention() {
        QCOMPARE(m_list->objectName(), QString("VipSelection"));
        QVERIFY(m_list->parentWidget() == nullptr);
        const Qt::WindowFlags wanted = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
        QCOMPARE(m_list->windowFlags() & wanted, wanted);
        QCOMPARE(m_list->windowModality(), Qt::ApplicationModal);
        QVERIFY(m_list->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(m_list->windowOpacity(), 1.0);
    }

    void showsOneRowPerCandidate() {
        QStringList headers, cells;
        QList<int> widths;
        QSize panel;
        QList<int> heights;
        QHeaderView::ResizeMode lastMode = QHeaderView::Interactive;
        runWhileShown(candidates(3), [&] {
            QAbstractItemModel* model = table()->model();
            for (int c = 0; c < model->columnCount(); ++c) {
                headers << model->headerData(c, Qt::Horizontal).toString();
                widths << table()->columnWidth(c);
            }
            lastMode = table()->horizontalHeader()->sectionResizeMode(3);
            for (int r = 0; r < model->rowCount(); ++r) {
                heights << table()->rowHeight(r);
                for (int c = 0; c < model->columnCount(); ++c) {
                    QCOMPARE(model->index(r, c).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
                    cells << model->index(r, c).data().toString();
                }
            }
            panel = m_list->findChild<QWidget*>("widgetback")->size();
            const QString dir = qEnvironmentVariable("ZOVORDA_PNG_DIR");
            if (!dir.isEmpty())
                m_list->grab().save(dir + "/VipSelection.png");
            QTest::keyClick(m_list.get(), Qt::Key_Escape);
        });
        QCOMPARE(headers, (QStringList{"姓名", "电话", "卡号", "地址"}));
        QCOMPARE(widths.mid(0, 3), (QList<int>{94, 120, 120}));
        QCOMPARE(lastMode, QHeaderView::Stretch);
        // Every address fits on one line of the stretched column, so no row is taller.
        QCOMPARE(heights, (QList<int>{heights.first(), heights.first(), heights.first()}));
        QCOMPARE(cells,
                 (QStringList{"张三", "13800000001", "V0001", "和平路1号", "李四", "13800000002", "V0002",
                              "解放大道200号", "王五", "13800000003", "V0003", "中山北路35号3栋"}));
        QVERIFY(panel.height() >= 330 && panel.height() <= 332);
        QCOMPARE(table()->focusPolicy(), Qt::NoFocus);
        QCOMPARE(table()->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(m_list->findChild<QLabel*>("label_2")->text(),
                 QString("【↑】：上一会员      【↓】：下一会员 \n【ESC】：返回        【回车】：确定"));
    }

    void choosing_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("touchRow");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("via"); // where the key presses land
        QTest::addColumn<int>("selectedRow");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("cardNo");

        const int up = Qt::Key_Up, down = Qt::Key_Down, esc = Qt::Key_Escape;
        const int ret = Qt::Key_Return, enter = Qt::Key_Enter;
        QTest::newRow("first row by default") << 3 << -1 << QList<int>{ret} << "list" << 0 << 1 << "V0001";
        QTest::newRow("down twice") << 3 << -1 << QList<int>{down, down, enter} << "list" << 2 << 1
                                    << "V0003";
        QTest::newRow("down past the end")
            << 3 << -1 << QList<int>{down, down, down, ret} << "list" << 2 << 1 << "V0003";
        QTest::newRow("up on the first row") << 3 << -1 << QList<int>{up, ret} << "list" << 0 << 1 << "V0001";
        QTest::newRow("down and up") << 3 << -1 << QList<int>{down, down, up, ret} << "list" << 1 << 1
                                     << "V0002";
        QTest::newRow("touch the second row") << 3 << 1 << QList<int>{enter} << "list" << 1 << 1 << "V0002";
        QTest::newRow("touch, then down") << 3 << 1 << QList<int>{down, ret} << "list" << 2 << 1 << "V0003";
        QTest::newRow("keys arriving at the table")
            << 3 << -1 << QList<int>{down, ret} << "table" << 1 << 1 << "V0002";
        QTest::newRow("Escape after moving") << 3 << -1 << QList<int>{down, esc} << "list" << 1 << 0 << "";
        QTest::newRow("Escape at the table") << 3 << -1 << QList<int>{esc} << "table" << 0 << 0 << "";
        QTest::newRow("keys from the window system")
            << 3 << -1 << QList<int>{down, down, ret} << "window" << 2 << 1 << "V0003";
        QTest::newRow("empty list") << 0 << -1 << QList<int>{ret} << "list" << -1 << 1 << "";
    }

    void choosing() {
        QFETCH(int, count);
        QFETCH(int, touchRow);
        QFETCH(QList<int>, keys);
        QFETCH(QString, via);
        QFETCH(int, selectedRow);
        QFETCH(int, result);
        QFETCH(QString, cardNo);

        m_list->m_sCardNo = "left over";
        int selected = -2;
        const int got = runWhileShown(candidates(count), [&] {
            if (touchRow >= 0) {
                const QRect cell = table()->visualRect(table()->model()->index(touchRow, 1));
                QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
            }
            auto press = [&](int key) {
                if (via == "window")
                    QTest::keyClick(m_list->windowHandle(), Qt::Key(key));
                else
                    QTest::keyClick(via == "table" ? static_cast<QWidget*>(table()) : m_list.get(),
                                    Qt::Key(key));
            };
            for (int i = 0; i < keys.size() - 1; ++i)
                press(keys.at(i));
            const QModelIndexList rows = table()->selectionModel()->selectedRows();
            selected = rows.isEmpty() ? -1 : rows.size() == 1 ? rows.first().row() : -99;
            press(keys.last());
        });
        QCOMPARE(selected, selectedRow);
        QCOMPARE(got, result);
        QCOMPARE(m_list->m_sCardNo, cardNo);
        QVERIFY(!m_list->isVisible());
    }

    void titleButtonsBackOut_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("return") << "btnReturn";
        QTest::newRow("close") << "btnClose";
    }

    void titleButtonsBackOut() {
        QFETCH(QString, button);
        const int got = runWhileShown(candidates(2), [&] {
            QTest::keyClick(m_list.get(), Qt::Key_Down);
            QTest::mouseClick(m_list->findChild<QWidget*>(button), Qt::LeftButton);
        });
        QCOMPARE(got, 0);
        QCOMPARE(m_list->m_sCardNo, QString());
    }
};

QTEST_MAIN(TestVipSelection)
#include "tst_VipSelection.moc"
