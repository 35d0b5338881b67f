#include "support/Columns.h"
#include "support/DialogDriver.h"
#include "ui/VipSelection.h"

using namespace Dialogs;

// The candidates as the list shows them: name, phone, card number, address.
static const QStringList kMembers = {"张三|13800000001|V0001|和平路1号",
                                     "李四|13800000002|V0002|解放大道200号",
                                     "王五|13800000003|V0003|中山北路35号3栋"};

class TestVipSelection : public QObject {
    Q_OBJECT

    VipSelection m_list; // one for the whole suite, as the controller keeps one
    QList<MemberRec> m_members;

    QTableView* table() const { return m_list.findChild<QTableView*>("tableView"); }
    int run(int count, const std::function<void()>& steps) {
        const QList<MemberRec> candidates = m_members.mid(0, count);
        return runAsCashier(
            "VipSelection", [&] { return m_list.SelectMember(candidates); }, steps);
    }

private slots:
    void initTestCase() {
        useTillStyle();
        QApplication::setFont(QFont(QApplication::font().family(), 9)); // the till's usual size
        for (const QString& row : kMembers) {
            const QStringList cells = row.split('|');
            MemberRec member;
            member.name = cells[0];
            member.mobile = cells[1];
            member.cardNo = cells[2];
            member.address = cells[3];
            m_members << member;
        }
        QCOMPARE(conventionBreaks(&m_list, "VipSelection"), QString());
    }

    void showsOneRowPerCandidate() {
        run(3, [&] {
            QAbstractItemModel* model = table()->model();
            QCOMPARE(headers(model), QString("姓名|电话|卡号|地址"));
            QCOMPARE(rows(model), kMembers);
            QCOMPARE(rows(model, Qt::TextAlignmentRole).join('|').count(QString::number(Qt::AlignCenter)),
                     12);
            QCOMPARE(columnWidths(table()).mid(0, 3), QList<int>({94, 120, 120}));
            QCOMPARE(table()->horizontalHeader()->sectionResizeMode(3), QHeaderView::Stretch);
            // Every address fits on one line of the stretched column, so no row is taller.
            QCOMPARE(table()->rowHeight(1), table()->rowHeight(0));
            QCOMPARE(table()->rowHeight(2), table()->rowHeight(0));
            const int panel = m_list.findChild<QWidget*>("widgetback")->height();
            QVERIFY2(panel >= 330 && panel <= 332, qPrintable(QString::number(panel)));
            savePicture(m_list.grab().toImage(), "VipSelection");
            QTest::keyClick(&m_list, Qt::Key_Escape);
        });
        QCOMPARE(table()->focusPolicy(), Qt::NoFocus);
        QCOMPARE(table()->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(texts(&m_list, {"label_2"}),
                 QString("【↑】：上一会员      【↓】：下一会员 \n【ESC】：返回        【回车】：确定"));
    }

    // What the cashier does in turn: keys (landing where `via` says), "row<n>" touches a
    // row, "btn..." a title bar button. The selection is read before the last one.
    void choosing_data() {
        columns<int, QString, QString, int, int, QString>(
            {"count", "press", "via", "selected", "result", "cardNo"});
        // clang-format off
        QTest::newRow("first row by default")        << 3 << "Return"                << "list"   << 0  << 1 << "V0001";
        QTest::newRow("down twice")                  << 3 << "Down Down Enter"       << "list"   << 2  << 1 << "V0003";
        QTest::newRow("down past the end")           << 3 << "Down Down Down Return" << "list"   << 2  << 1 << "V0003";
        QTest::newRow("up on the first row")         << 3 << "Up Return"             << "list"   << 0  << 1 << "V0001";
        QTest::newRow("down and up")                 << 3 << "Down Down Up Return"   << "list"   << 1  << 1 << "V0002";
        QTest::newRow("touch the second row")        << 3 << "row1 Enter"            << "list"   << 1  << 1 << "V0002";
        QTest::newRow("touch, then down")            << 3 << "row1 Down Return"      << "list"   << 2  << 1 << "V0003";
        QTest::newRow("keys arriving at the table")  << 3 << "Down Return"           << "table"  << 1  << 1 << "V0002";
        QTest::newRow("Escape after moving")         << 3 << "Down Esc"              << "list"   << 1  << 0 << "";
        QTest::newRow("Escape at the table")         << 3 << "Esc"                   << "table"  << 0  << 0 << "";
        QTest::newRow("keys from the window system") << 3 << "Down Down Return"      << "window" << 2  << 1 << "V0003";
        QTest::newRow("empty list")                  << 0 << "Return"                << "list"   << -1 << 1 << "";
        QTest::newRow("return button backs out")     << 2 << "Down btnReturn"        << "list"   << 1  << 0 << "";
        QTest::newRow("close button backs out")      << 2 << "Down btnClose"         << "list"   << 1  << 0 << "";
        // clang-format on
    }
    void choosing() {
        QFETCH(int, count);
        QFETCH(QString, press);
        QFETCH(QString, via);
        const auto act = [&](const QString& what) {
            if (what.startsWith("row")) {
                const QRect cell = table()->visualRect(table()->model()->index(what.mid(3).toInt(), 1));
                QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
            } else if (what.startsWith("btn")) {
                QTest::mouseClick(m_list.findChild<QWidget*>(what), Qt::LeftButton);
            } else if (via == "window") {
                keys(m_list.windowHandle(), what);
            } else {
                keys(via == "table" ? static_cast<QWidget*>(table()) : &m_list, what);
            }
        };
        m_list.m_sCardNo = "left over";
        const int result = run(count, [&] {
            QStringList steps = press.split(' ');
            const QString last = steps.takeLast();
            for (const QString& step : steps)
                act(step);
            const QModelIndexList rows = table()->selectionModel()->selectedRows();
            QTEST(rows.isEmpty() ? -1 : rows.size() == 1 ? rows.first().row() : -99, "selected");
            act(last);
        });
        QTEST(result, "result");
        QTEST(m_list.m_sCardNo, "cardNo");
        QVERIFY(!m_list.isVisible());
    }
};

QTEST_MAIN(TestVipSelection)
#include "tst_VipSelection.moc"
