// The dialogs as the operations meet them through DialogCashier, and as the host sees
// them: frameless full-screen overlays whose parts the till's style sheet finds by
// object name and paints. Pictures of each dialog go to $ZOVORDA_PNG_DIR when set.

#include "CashierRobot.h"
#include "ui/CouponWidget.h"
#include "ui/DialogCashier.h"
#include "ui/WaitWidget.h"

#include <QtTest>
#include <QtWidgets>

using R = CashierRobot;
using Keys = QList<int>;

namespace {

// clang-format off
struct CouponRun { QStringList entered; Keys keys; int end; QStringList rows; QString current; QStringList removed; bool result; };
// Where each dialog's panel shows through a part of its own, in the colour the style sheet gives it.
const QMap<QString, QString> kBareParts = {{"MemberLogin", "widget_2"}, {"JFPayWidget", "widget_2"}, {"MessageWidget", "widget"},
    {"CouponWidget", "widget"}, {"VipSelection", "widgetpopback"}, {"MemberManage", "widget"}, {"WaitWidget", "MessageBody"}};
// clang-format on

// The coupons the CRM knows; any other number is a usable coupon without name or value.
// Every check shows the wait screen, as the CRM exchange does.
class CouponCounter : public CouponDesk {
public:
    explicit CouponCounter(Cashier& cashier) : m_cashier(cashier) {}
    QList<CouponRec> addCoupon(const QString& couponNo) override {
        m_cashier.showBusy("请稍等，处理中...");
        const QMap<QString, CouponRec> known = {
            {"C1001", {"C1001", "满100减5", 5, CouponUse::Usable, {}}},
            {"C1002", {"C1002", "新客券", 0.5, CouponUse::NotUsable, {}}},
            {"C1003", {"C1003", "生日券", 100, Kinds::couponUse("2"), {}}}};
        listed << known.value(couponNo, {couponNo, {}, 0, CouponUse::Usable, {}});
        m_cashier.hideBusy();
        return listed;
    }
    QList<CouponRec> removeCoupon(const QString& couponNo) override {
        removed << couponNo;
        for (int i = 0; i < listed.size(); ++i)
            if (listed[i].couponNo == couponNo)
                listed.removeAt(i--);
        return listed;
    }
    QList<CouponRec> listed;
    QStringList removed;

private:
    Cashier& m_cashier;
};

// The texts of the parts named, "(hidden)" for a part the cashier does not see.
QStringList texts(QWidget* dialog, const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        const QWidget* part = dialog->findChild<QWidget*>(name);
        out << (part->isVisible() ? part->property("text").toString() : QStringLiteral("(hidden)"));
    }
    return out;
}

// A table's column titles, joined.
QString headers(const QTableView* table) {
    QStringList titles;
    for (int column = 0; column < table->model()->columnCount(); ++column)
        titles << table->model()->headerData(column, Qt::Horizontal).toString();
    return titles.join('|');
}

QStringList tableRows(QWidget* dialog) {
    const QAbstractItemModel* model = dialog->findChild<QTableView*>()->model();
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        out << cells.join('|');
    }
    return out;
}

MemberRec member(const QString& name, const QString& cardNo) {
    MemberRec rec;
    rec.name = name;
    rec.cardNo = cardNo;
    return rec;
}

} // namespace

Q_DECLARE_METATYPE(CouponRun)

class tst_DialogCashier : public QObject {
    Q_OBJECT

    QList<QStringList> m_selectors; // those of the style sheet that name a part of a dialog
    QStringList m_looked, m_faults;

    // What the host relies on in a dialog's looks: a parentless, frameless, application-modal
    // overlay over the whole screen; every part the style sheet addresses in it there, of the class it names
    // and inside the parts named before it; its panel painted as the style sheet says.
    void inspect(QWidget* dialog) {
        const QString name = dialog->objectName();
        m_looked << name;
        const Qt::WindowFlags flags = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
        if (dialog->parentWidget() || (dialog->windowFlags() & flags) != flags ||
            dialog->windowModality() != Qt::ApplicationModal || !dialog->isFullScreen() ||
            !dialog->testAttribute(Qt::WA_TranslucentBackground))
            m_faults << name + ": not a frameless application-modal overlay over the whole screen";
        for (const QStringList& selector : m_selectors) {
            QList<QWidget*> scope = {dialog};
            for (int i = 1; i < selector.size() && selector.first() == '#' + name; ++i) {
                const QString type = selector[i].section('#', 0, 0).section(':', 0, 0);
                QList<QWidget*> found;
                for (QWidget* outer : scope)
                    for (QWidget* widget :
                         outer->findChildren<QWidget*>(selector[i].section('#', 1).section(':', 0, 0)))
                        if (widget->inherits(qPrintable(type)))
                            found << widget;
                if ((scope = found).isEmpty())
                    m_faults << selector.join(' ');
            }
        }
        const QImage picture = dialog->grab().toImage();
        if (!qEnvironmentVariableIsEmpty("ZOVORDA_PNG_DIR"))
            picture.save(qEnvironmentVariable("ZOVORDA_PNG_DIR") + '/' + name + ".png");
        QWidget* bare = dialog->findChild<QWidget*>(kBareParts.value(name));
        const QRect area(bare->mapTo(dialog, QPoint()), bare->size());
        QPoint spot(-1, -1);
        for (int y = area.top() + 16; y < area.bottom() - 16 && spot.x() < 0; y += 4)
            for (int x = area.left() + 16; x < area.right() - 16 && spot.x() < 0; x += 4)
                if (dialog->childAt(x, y) == bare)
                    spot = QPoint(x, y);
        if (spot.x() < 0 || picture.pixelColor(spot) != Qt::white || picture.pixelColor(2, 2) == Qt::white)
            m_faults << name + ": panel not painted white over the dimmed till";
    }
    // Inspects the dialog, notes the texts of the parts named and those of its entry, then answers.
    R::Action read(QStringList& shown, const QStringList& names, const R::Action& answer) {
        return [this, &shown, names, answer](QWidget* dialog) {
            inspect(dialog);
            const QLineEdit* field = dialog->findChild<QLineEdit*>();
            shown += texts(dialog, names);
            if (const auto* table = dialog->findChild<QTableView*>())
                shown << headers(table);
            if (field)
                shown << field->text() << QString::number(field->echoMode());
            answer(dialog);
        };
    }

private slots:
    void initTestCase() {
        QFile sheet(ZOVORDA_SOURCE_DIR "/tools/till/till.qss");
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(sheet.readAll());
        qApp->setStyleSheet(text);
        text.remove(QRegularExpression(R"(/\*.*?\*/)", QRegularExpression::DotMatchesEverythingOption));
        text.replace(QRegularExpression(R"(\{[^}]*\})"), ",");
        for (const QString& selector : text.split(','))
            if (kBareParts.contains(selector.simplified().section(' ', 0, 0).mid(1)))
                m_selectors << selector.simplified().split(' ');
    }

    // Every question the operations ask, each dialog built when first needed: what the
    // cashier sees, what the answers are, and how every dialog looks to the host.
    void questions() {
        const auto windows = [] {
            QStringList names;
            for (QWidget* window : QApplication::topLevelWidgets())
                names << window->objectName();
            return names.filter(QRegularExpression("Widget|Member|Vip"));
        };
        DialogCashier cashier;
        QCOMPARE(windows(), QStringList());
        QStringList shown;
        const QStringList login = {"lblModeName", "lblhelp", "lblCodeType"};
        CashierRobot robot;
        // Backing out leaves typing behind, which the next question must not show.
        robot.when("MemberLogin", read(shown, login, R::sequence({R::type("88"), R::press(Qt::Key_Escape)})));
        QCOMPARE(cashier.memberCode(), std::nullopt);
        QCOMPARE(windows(), QStringList{"MemberLogin"});
        robot.when("MemberLogin", read(shown, login, R::typeAndEnter("8800001")))
            .when("MemberLogin", read(shown, login, R::typeAndEnter("123456")))
            .when("JFPayWidget", read(shown, {"lblTotal", "lblhelp1"}, R::typeAndEnter("5.5")))
            .when("VipSelection",
                  read(shown, {"label_2"}, R::sequence({R::press(Qt::Key_Down), R::press(Qt::Key_Return)})))
            .when("MemberManage", read(shown, {"btnVipSignin", "lblhelp1"}, R::press(Qt::Key_0)))
            .when("MessageWidget", read(shown, {"label_text", "label", "btnok"}, R::press(Qt::Key_1)))
            .when("CouponWidget",
                  read(shown, {"btncancel", "btnok", "btnclear", "btncheck"}, R::press(Qt::Key_F2)));
        QCOMPARE(cashier.memberCode(), QString("8800001"));
        QCOMPARE(cashier.password("8800002"), QString("123456"));
        QCOMPARE(cashier.pointsAmount("32.50", "10.00"), QString("5.5"));
        QCOMPARE(cashier.chooseMember({member("张三", "V0001"), member("李四", "V0002")}), QString("V0002"));
        QVERIFY(cashier.wantsSignin());
        cashier.showMessage("会员不存在");
        CouponCounter desk(cashier);
        QVERIFY(cashier.collectCoupons(desk));
        VERIFY_ROBOT(robot);
        const QString N = QString::number(QLineEdit::Normal), P = QString::number(QLineEdit::Password);
        // clang-format off
        QCOMPARE(shown, QStringList({"会员验证", "", "号码/姓名：", "", N,
                                     "会员验证", "", "号码/姓名：", "", N,
                                     "会员密码验证", "会员：8800002", "密码：", "", P,
                                     "32.50", "【Esc】：返回   【Enter】：确定   【Backspace】：删除", "", N,
                                     "【↑】：上一会员      【↓】：下一会员 \n【ESC】：返回        【回车】：确定",
                                     "姓名|电话|卡号|地址",
                                     "签到（0）", "【ESC】：返回",
                                     "会员不存在", "(hidden)", "确定【1】",
                                     "取消（Esc）", "确定（Enter）", "行清（F1）", "核销（F2）",
                                     "序号|券号|名称|抵扣金额|是否使用", "", N}));
        // clang-format on
        QCOMPARE(m_faults, QStringList());
        m_looked.removeDuplicates();
        QCOMPARE(m_looked.size(), kBareParts.size() - 1); // all but the wait screen
    }

    // The wait screen over the till while the CRM is asked, gone when the answer is in.
    void busyScreen() {
        DialogCashier cashier;
        const auto busy = [] {
            QList<QWidget*> shown;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == "WaitWidget" && window->isVisible())
                    shown << window;
            return shown;
        };
        cashier.showBusy("请稍等，处理中...");
        QCOMPARE(busy().size(), 1);
        inspect(busy().first());
        // The host's animation fills its place on the screen, whatever size the image is.
        QVERIFY(busy().first()->findChild<QLabel*>("busyWidget")->hasScaledContents());
        QCOMPARE(texts(busy().first(), {"label_text", "lbldot"}), QStringList({"请稍等，处理中...", ""}));
        cashier.hideBusy();
        QCOMPARE(busy().size(), 0);
        QCOMPARE(m_faults, QStringList());
        // Shown without a message of its own, it asks the cashier to wait all the same.
        WaitWidget plain;
        plain.show();
        QCOMPARE(texts(&plain, {"label_text"}), QStringList({"请稍等，操作中"}));
    }

    // Each coupon is checked (with the wait screen over the dialog) and the table refilled;
    // a clear takes the current row's coupon off.
    void coupons_data() {
        QTest::addColumn<CouponRun>("row");
        const QStringList three = {"C1001", "C1002", "C1003"};
        const QStringList listed = {"1|C1001|满100减5|5.00|可用", "2|C1002|新客券|0.50|不可用",
                                    "3|C1003|生日券|100.00|异常"};
        const int Up = Qt::Key_Up, Down = Qt::Key_Down, F1 = Qt::Key_F1, F2 = Qt::Key_F2,
                  Esc = Qt::Key_Escape;
        // clang-format off
        QTest::newRow("three written off")        << CouponRun{three, {}, F2, listed, "C1001", {}, true};
        QTest::newRow("empty entry adds nothing") << CouponRun{{""}, {}, Esc, {}, "", {}, false};
        QTest::newRow("any number")               << CouponRun{{"AB 01"}, {}, F2, {"1|AB 01||0.00|可用"}, "AB 01", {}, true};
        QTest::newRow("down twice, clear")        << CouponRun{three, {Down, Down, F1}, F2, listed.mid(0, 2), "C1001", {"C1003"}, true};
        QTest::newRow("down past the end")        << CouponRun{three, {Down, Down, Down, Down}, F2, listed, "C1003", {}, true};
        QTest::newRow("back up after the end")    << CouponRun{three, {Down, Down, Down, Up, F1}, Esc, {listed[0], "2|C1003|生日券|100.00|异常"}, "C1001", {"C1002"}, false};
        QTest::newRow("up on the first row")      << CouponRun{three, {Up, F1}, Esc, {"1|C1002|新客券|0.50|不可用", "2|C1003|生日券|100.00|异常"}, "C1002", {"C1001"}, false};
        QTest::newRow("arrows on an empty table") << CouponRun{{}, {Up, Down}, F2, {}, "", {}, true};
        QTest::newRow("clear on an empty table")  << CouponRun{{}, {F1}, Esc, {}, "", {""}, false};
        // clang-format on
    }
    void coupons() {
        QFETCH(CouponRun, row);
        DialogCashier cashier;
        CouponCounter desk(cashier);
        QStringList focus, rows;
        QString current;
        CashierRobot robot;
        robot.when("CouponWidget", [&](QWidget* dialog) {
            focus << QApplication::focusWidget()->objectName(); // the first coupon goes into the entry
            for (const QString& couponNo : row.entered) {
                R::typeAndEnter(couponNo)(dialog);
                focus << QApplication::focusWidget()->objectName(); // the next coupon goes into the entry
            }
            for (int key : row.keys)
                R::press(key)(dialog);
            rows = tableRows(dialog);
            current = static_cast<CouponWidget*>(dialog)->currentCouponNo();
            R::press(row.end)(dialog);
        });
        QCOMPARE(cashier.collectCoupons(desk), row.result);
        VERIFY_ROBOT(robot);
        QCOMPARE(focus.filter("txtCode").size(), row.entered.size() + 1);
        QCOMPARE(rows, row.rows);
        QCOMPARE(current, row.current);
        QCOMPARE(desk.removed, row.removed);
    }

    // The same by touch: the buttons, and a row touched, after which the table has the keys.
    void couponsByTouch() {
        DialogCashier cashier;
        CouponCounter desk(cashier);
        QStringList rows;
        const auto touch = [](QWidget* dialog, const char* button) {
            QTest::mouseClick(dialog->findChild<QWidget*>(button), Qt::LeftButton);
        };
        CashierRobot robot;
        robot.when("CouponWidget", [&](QWidget* dialog) {
            for (const char* couponNo : {"C1001", "C1002", "C1003"}) {
                R::type(couponNo)(dialog);
                touch(dialog, "btnok");
            }
            touch(dialog, "btnclear");
            auto* table = dialog->findChild<QTableView*>();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                              table->visualRect(table->model()->index(1, 1)).center());
            // Typing at the table does not jump to a row that starts with the letter.
            QTest::keyClick(table, Qt::Key_Up);
            QTest::keyClick(table, Qt::Key_Down);
            QTest::keyClicks(table, "C");
            QTest::keyClick(table, Qt::Key_F1);
            // Nor does a double tap open a cell for editing.
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                               table->visualRect(table->model()->index(0, 1)).center());
            QTest::keyClicks(QApplication::focusWidget(), "X");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            rows = tableRows(dialog);
            touch(dialog, "btncheck");
        });
        robot.when("CouponWidget", [&](QWidget* dialog) { touch(dialog, "btncancel"); });
        QVERIFY(cashier.collectCoupons(desk));
        QVERIFY(!cashier.collectCoupons(desk));
        VERIFY_ROBOT(robot);
        QCOMPARE(desk.removed, QStringList({"C1001", "C1003"}));
        QCOMPARE(rows, QStringList{"1|C1002|新客券|0.50|不可用"});
    }
    // A long list: the member the cashier moves to with the arrow keys stays in view.
    void chooserFollowsTheCurrentMember() {
        QList<MemberRec> members;
        for (int i = 1; i <= 40; ++i)
            members << member(QString("会员%1").arg(i), QString("V%1").arg(i, 4, 10, QChar('0')));
        DialogCashier cashier;
        bool inView = false;
        CashierRobot robot;
        robot.when("VipSelection", [&](QWidget* dialog) {
            for (int i = 1; i < members.size(); ++i)
                R::press(Qt::Key_Down)(dialog);
            const auto* table = dialog->findChild<QTableView*>();
            inView = table->viewport()->rect().contains(table->visualRect(table->currentIndex()));
            R::press(Qt::Key_Return)(dialog);
        });
        QCOMPARE(cashier.chooseMember(members), QString("V0040"));
        VERIFY_ROBOT(robot);
        QVERIFY(inView);
    }

    // The robot's report of what did not go to script; the dialog in question is backed out of.
    void robotReport() {
        DialogCashier cashier;
        CashierRobot robot;
        robot.setWatchdogMs(300);
        cashier.showMessage("签到成功");
        QCOMPARE(robot.takeFailures(),
                 QStringList{"unexpected MessageWidget \"签到成功\" (expected nothing)"});
        robot.when("VipSelection", R::press(Qt::Key_Return));
        QCOMPARE(cashier.memberCode(), std::nullopt);
        QCOMPARE(robot.takeFailures(), QStringList({"unexpected MemberLogin (expected VipSelection)",
                                                    "expected VipSelection never shown"}));
        robot.expectMessage("签到失败");
        cashier.showMessage("签到成功");
        QCOMPARE(robot.takeFailures(),
                 QStringList{"MessageWidget shows \"签到成功\", expected \"签到失败\""});
        robot.when("MemberManage", [](QWidget*) {}); // the cashier walks away
        QVERIFY(!cashier.wantsSignin());
        QCOMPARE(robot.failures(), "MemberManage still open after 300 ms, backed out");
        QCOMPARE(robot.takeFailures().size(), 1);
        QVERIFY(robot.allDone());
    }
};

QTEST_MAIN(tst_DialogCashier)
#include "tst_DialogCashier.moc"
