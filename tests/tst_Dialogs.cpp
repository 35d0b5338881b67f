// The plug-in's dialogs as the cashier meets them: each is run the way the operations
// run it and driven from inside its own loop by the cashier robot with real key events.

#include "CashierRobot.h"
#include "ui/CouponWidget.h"
#include "ui/DialogCashier.h"
#include "ui/JFPayWidget.h"
#include "ui/MemberLogin.h"
#include "ui/MemberManage.h"
#include "ui/MessageWidget.h"
#include "ui/VipSelection.h"
#include "ui/WaitWidget.h"

#include <QtTest>
#include <QtWidgets>

using R = CashierRobot;
using Keys = QList<int>;

namespace {

enum class Keypad { MemberCode, Points };
enum class KeysAt { Dialog, Table, Panel, Backdrop, WindowSystem };

// clang-format off
// The cashier types into the entry, then presses key at target (the entry, a panel) or,
// with no key, touches target; field: the entry afterwards; input: after a previous run
// that confirmed 777. A dialog still open after that is left with Escape.
struct Entry { Keypad dialog; QString typed; const char* target; int key; QString field; int result; QString input; };
struct Start { Keypad dialog; QStringList args; QStringList labels; QStringList texts; };
struct Touches { Keypad dialog; QStringList buttons; QStringList seen; };
// A message of type on a box that showed one of type previous before.
struct Layout { int style; bool detail; int previous; int type; bool hint; QStringList shown; QStringList captions; };
struct MessageKey { int type; int key; const char* button; bool closes; int result; int queries; };
// Touch a row, then keys (or the button last); selected: the row before the last step.
struct Choice { int count; int touchRow; Keys keys; KeysAt at; const char* button; int selected; int result; QString cardNo; };
struct Manage { int before; Keys keys; const char* button; int choice; };
struct CouponRun { QStringList entered; Keys keys; int end; QStringList rows; QString current; QStringList removed; bool result; };
struct RobotScript { QString expected; QString shown; int result; QString failures; };
// clang-format on

// The coupons the CRM knows; any other number is a usable coupon without name or value.
// Every check shows the wait screen, as the CRM exchange does.
class CouponCounter : public CouponDesk {
public:
    explicit CouponCounter(Cashier& cashier) : m_cashier(cashier) {}
    QList<CouponRec> addCoupon(const QString& couponNo) override {
        m_cashier.showBusy("请稍等，处理中...");
        const QMap<QString, CouponRec> known = {
            {"C1001", {"C1001", "满100减5", 500, CouponUse::Usable, {}}},
            {"C1002", {"C1002", "新客券", 50, CouponUse::NotUsable, {}}},
            {"C1003", {"C1003", "生日券", 10000, Kinds::couponUse("2"), {}}}};
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

QWidget* child(QWidget* dialog, const char* name) {
    return dialog->findChild<QWidget*>(QLatin1String(name));
}

QStringList texts(QWidget* dialog, const QStringList& names) {
    QStringList out;
    for (const QString& name : names)
        out << dialog->findChild<QWidget*>(name)->property("text").toString();
    return out;
}

QStringList visible(QWidget* dialog, const QStringList& names) {
    QStringList out;
    for (const QString& name : names)
        if (dialog->findChild<QWidget*>(name)->isVisible())
            out << name;
    return out;
}

// A button is pressed even while hidden (the form keeps it for hosts that show it).
void touch(QWidget* dialog, const char* name) {
    QWidget* target = child(dialog, name);
    if (auto* button = qobject_cast<QAbstractButton*>(target))
        button->click();
    else
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(2, 2));
}

// Runs call, which blocks in the dialog called name, with the cashier doing steps inside it.
int asCashier(const QString& name, const std::function<int()>& call, const R::Action& steps) {
    CashierRobot robot;
    robot.when(name, steps);
    const int result = call();
    if (!robot.allDone())
        QTest::qFail(qPrintable(robot.failures()), __FILE__, __LINE__);
    return result;
}

// One keypad dialog of either kind, run with arguments as the operations pass them.
struct KeypadUnderTest {
    explicit KeypadUnderTest(Keypad which) : kind(which) {}
    int run(const QStringList& a = {"88.00", "20.00"}) {
        const auto call = [&] {
            if (kind == Keypad::Points)
                return a.size() > 2 ? points.run(a[0], a[1], a[2]) : points.run(a.value(0), a.value(1));
            return a.isEmpty() ? login.run() : login.run(a[0], a.value(1));
        };
        return asCashier(name(), call, steps);
    }
    QString name() const { return kind == Keypad::Points ? "JFPayWidget" : "MemberLogin"; }
    KeypadDialog& dialog() { return kind == Keypad::Points ? static_cast<KeypadDialog&>(points) : login; }
    QLineEdit* field() { return dialog().findChild<QLineEdit*>(); }
    Keypad kind;
    MemberLogin login;
    JFPayWidget points;
    R::Action steps;
};

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Start)
Q_DECLARE_METATYPE(Touches)
Q_DECLARE_METATYPE(Layout)
Q_DECLARE_METATYPE(MessageKey)
Q_DECLARE_METATYPE(Choice)
Q_DECLARE_METATYPE(Manage)
Q_DECLARE_METATYPE(CouponRun)
Q_DECLARE_METATYPE(RobotScript)

class tst_Dialogs : public QObject {
    Q_OBJECT

    QList<MemberRec> m_members;

private slots:
    void initTestCase() {
        for (const QStringList& m : {QStringList{"张三", "13800000001", "V0001", "和平路1号"},
                                     QStringList{"李四", "13800000002", "V0002", "解放大道200号"},
                                     QStringList{"王五", "13800000003", "V0003", "中山北路35号3栋"}}) {
            MemberRec member;
            member.name = m[0];
            member.mobile = m[1];
            member.cardNo = m[2];
            member.address = m[3];
            m_members << member;
        }
    }

    // What the entry keeps of the typing and how the run ends. The last confirm attempt,
    // an empty one too, is what the dialog hands on; backing out keeps the one before.
    // Keys arriving at the panels instead of the entry steer the dialog once.
    void keypad_data() {
        QTest::addColumn<Entry>("row");
        const Keypad P = Keypad::Points, M = Keypad::MemberCode;
        const char *entry = "entry", *panel = "widgetback", *form = "widgetpopcenter";
        const int Return = Qt::Key_Return, Esc = Qt::Key_Escape;
        // clang-format off
        QTest::newRow("points: whole yuan")             << Entry{P, "35", entry, Return, "", 1, "35"};
        QTest::newRow("points: third decimal refused")  << Entry{P, "12.345", entry, Return, "", 1, "12.34"};
        QTest::newRow("points: leading point refused")  << Entry{P, ".5", entry, Qt::Key_Enter, "", 1, "5"};
        QTest::newRow("points: second point refused")   << Entry{P, "1.2.3", entry, Return, "", 1, "1.23"};
        QTest::newRow("points: letters, minus refused") << Entry{P, "1a0b-8", entry, Return, "", 1, "108"};
        QTest::newRow("points: dangling point as is")   << Entry{P, "12.", entry, Return, "", 1, "12."};
        QTest::newRow("points: nothing acceptable")     << Entry{P, "abc.", entry, Return, "", 0, ""};
        QTest::newRow("points: Escape")                 << Entry{P, "5", entry, Esc, "5", 0, "777"};
        QTest::newRow("points: close button")           << Entry{P, "5", "btnClose", 0, "5", 0, "777"};
        QTest::newRow("points: return button")          << Entry{P, "5", "btnReturn", 0, "5", 0, "777"};
        QTest::newRow("points: digit at the panel")     << Entry{P, "12", panel, Qt::Key_3, "123", 0, "777"};
        QTest::newRow("points: digit at the form")      << Entry{P, "12", form, Qt::Key_3, "123", 0, "777"};
        QTest::newRow("points: Escape at the panel")    << Entry{P, "12", panel, Esc, "12", 0, "777"};
        QTest::newRow("points: Enter at the panel")     << Entry{P, "12", panel, Qt::Key_Enter, "", 1, "12"};
        QTest::newRow("points: Return at the form")     << Entry{P, "12", form, Return, "", 1, "12"};
        QTest::newRow("points: letter at the panel")    << Entry{P, "12", panel, Qt::Key_A, "12", 0, "777"};
        QTest::newRow("points: touching the panel")     << Entry{P, "12", panel, 0, "12", 0, "777"};
        QTest::newRow("points: touching the form")      << Entry{P, "12", form, 0, "12", 0, "777"};
        QTest::newRow("code: empty entry")              << Entry{M, "", entry, Return, "", 0, ""};
        QTest::newRow("code: card number")              << Entry{M, "6222001234", entry, Return, "", 1, "6222001234"};
        QTest::newRow("code: digits and a letter")      << Entry{M, "13800138000a", entry, Qt::Key_Enter, "", 1, "13800138000a"};
        QTest::newRow("code: name")                     << Entry{M, "Li Lei张三", entry, Return, "", 1, "Li Lei张三"};
        QTest::newRow("code: Escape")                   << Entry{M, "88", entry, Esc, "88", 0, "777"};
        QTest::newRow("code: close button")             << Entry{M, "88", "btnClose", 0, "88", 0, "777"};
        QTest::newRow("code: return button")            << Entry{M, "88", "btnReturn", 0, "88", 0, "777"};
        QTest::newRow("code: digit at the panel")       << Entry{M, "12", panel, Qt::Key_3, "123", 0, "777"};
        QTest::newRow("code: Escape at the form")       << Entry{M, "12", form, Esc, "12", 0, "777"};
        QTest::newRow("code: Return at the panel")      << Entry{M, "12", panel, Return, "", 1, "12"};
        QTest::newRow("code: touching the panel")       << Entry{M, "12", panel, 0, "12", 0, "777"};
        // clang-format on
    }
    void keypad() {
        QFETCH(Entry, row);
        KeypadUnderTest keypad(row.dialog);
        keypad.steps = R::typeAndEnter("777");
        QCOMPARE(keypad.run(), 1);
        QString field;
        keypad.steps = [&](QWidget* dialog) {
            R::type(row.typed)(dialog);
            QWidget* target = qstrcmp(row.target, "entry") ? child(dialog, row.target) : keypad.field();
            row.key ? QTest::keyClick(target, Qt::Key(row.key)) : touch(dialog, row.target);
            field = keypad.field()->text();
            if (dialog->isVisible())
                R::press(Qt::Key_Escape)(dialog);
        };
        QCOMPARE(keypad.run(), row.result);
        QCOMPARE(field, row.field);
        QCOMPARE(keypad.dialog().input(), row.input);
    }

    // What a run shows beyond the questions the operations ask (cashierQuestions), after a
    // run that left other texts and typing behind.
    void keypadStart_data() {
        QTest::addColumn<Start>("row");
        const QStringList code = {"lblModeName", "lblhelp", "lblCodeType", "txtVipCode"};
        const QStringList points = {"lblModeName", "lblTotal", "lblhelp1", "txtCode"};
        // clang-format off
        QTest::newRow("no arguments")       << Start{Keypad::MemberCode, {}, code, {"会员登录", "", "号码/姓名：", ""}};
        QTest::newRow("title with a blank") << Start{Keypad::MemberCode, {"会员密码 验证"}, code, {"会员密码 验证", "", "号码/姓名：", ""}};
        QTest::newRow("points, no help")    << Start{Keypad::Points, {"0.00", "7.10"}, points, {"积分支付", "0.00", "", ""}};
        // clang-format on
    }
    void keypadStart() {
        QFETCH(Start, row);
        KeypadUnderTest keypad(row.dialog);
        keypad.steps = R::sequence({R::type("12"), R::press(Qt::Key_Escape)});
        keypad.run(row.dialog == Keypad::Points ? QStringList{"9.00", "1.00", "?"}
                                                : QStringList{"会员密码验证", "?"});
        QStringList shown;
        keypad.steps = [&](QWidget* dialog) {
            shown = texts(dialog, row.labels);
            R::press(Qt::Key_Escape)(dialog);
        };
        QCOMPARE(keypad.run(row.args), 0);
        QCOMPARE(shown, row.texts);
    }

    // The touch keypad is out of sight but still wired: each key edits the entry.
    void keypadTouches_data() {
        QTest::addColumn<Touches>("row");
        QTest::newRow("points") << Touches{
            Keypad::Points,
            {"btndot", "btn1", "btn0", "btndot", "btndot", "btn5", "btn0", "btn9", "btnUpdNum", "btn0",
             "btn8"},
            {"", "1", "10", "10.", "10.", "10.5", "10.50", "10.50", "", "0", "08"}};
        QTest::newRow("member code") << Touches{
            Keypad::MemberCode,
            {"btn7", "btn0", "btnUpdNum", "btn9", "btn5", "btn1", "btnBackSpace", "btn2", "btn3", "btn4",
             "btn6"},
            {"7", "70", "", "9", "95", "951", "95", "952", "9523", "95234", "952346"}};
    }
    void keypadTouches() {
        QFETCH(Touches, row);
        KeypadUnderTest keypad(row.dialog);
        QStringList seen, shown;
        keypad.steps = [&](QWidget* dialog) {
            shown = visible(dialog, {"widgetkey", "btnReturn", "btnClose", "lblModeName"});
            for (const QString& button : row.buttons) {
                touch(dialog, qPrintable(button));
                seen << keypad.field()->text();
            }
            touch(dialog, "btnOK");
        };
        QCOMPARE(keypad.run(), 1);
        QCOMPARE(shown, QStringList{"lblModeName"});
        QCOMPARE(seen, row.seen);
        QCOMPARE(keypad.dialog().input(), row.seen.last());
    }

    void messageLayout_data() {
        QTest::addColumn<Layout>("row");
        const QStringList ok = {"btnok"}, none;
        // clang-format off
        QTest::newRow("finished, keyed")          << Layout{1, false, 2, 0, false, ok, {"取消", "查询", "完成【1】"}};
        QTest::newRow("finished, plain")          << Layout{0, false, 2, 0, false, ok, {"取消", "查询", "完成"}};
        QTest::newRow("finished after a retry")   << Layout{1, false, 1, 0, false, ok, {"返回【0】", "查询", "完成【1】"}};
        QTest::newRow("retry, keyed")             << Layout{1, false, 2, 1, false, {"btncancel", "btnok"}, {"返回【0】", "查询", "重试【1】"}};
        QTest::newRow("retry, plain")             << Layout{0, true, 3, 1, false, {"btncancel", "btnok"}, {"返回", "查询", "重试"}};
        QTest::newRow("bare notice")              << Layout{1, true, 3, 2, false, none, {"取消【0】", "查询【2】", "确定【1】"}};
        QTest::newRow("bare notice with hint")    << Layout{1, false, 1, 2, true, {"label"}, {"返回【0】", "查询", "重试【1】"}};
        QTest::newRow("confirm after bare notice") << Layout{1, false, 2, 3, false, ok, {"取消【0】", "查询【2】", "确定【1】"}};
        QTest::newRow("confirm with hint")        << Layout{1, false, 2, 3, true, {"btnok", "label"}, {"取消【0】", "查询【2】", "确定【1】"}};
        QTest::newRow("confirm, plain")           << Layout{0, false, 1, 3, false, ok, {"取消", "查询", "确定"}};
        QTest::newRow("confirm with detail")      << Layout{1, true, 2, 3, false, {"btnDetail", "btnok"}, {"取消【0】", "查询【2】", "确定【1】"}};
        QTest::newRow("unknown caption style")    << Layout{5, false, 2, 1, false, {"btncancel", "btnok"}, {"取消", "查询", "确定"}};
        QTest::newRow("unknown message type")     << Layout{1, false, 0, 9, false, ok, {"取消", "查询", "完成【1】"}};
        QTest::newRow("unknown style, confirm")   << Layout{7, true, 1, 3, false, {"btnDetail", "btnok"}, {"取消", "查询", "确定"}};
        // clang-format on
    }
    void messageLayout() {
        QFETCH(Layout, row);
        MessageWidget box(row.style, row.detail);
        // An unknown type is logged and shown with the text and captions of the message before.
        const bool known = row.type <= 3;
        if (!known)
            QTest::ignoreMessage(QtDebugMsg, "wrong type! MessageWidget::showMessage:default switch");
        QCOMPARE(asCashier(
                     "MessageWidget", [&] { return box.showMessage("签到成功", row.previous, true); },
                     R::press(Qt::Key_1)),
                 1);
        QStringList shown, captions, said;
        const int result = asCashier(
            "MessageWidget", [&] { return box.showMessage("会员卡已过期", row.type, row.hint); },
            [&](QWidget* dialog) {
                shown = visible(dialog, {"btncancel", "btnDetail", "btnok", "label", "textBrowser"});
                captions = texts(dialog, {"btncancel", "btnDetail", "btnok"});
                said = texts(dialog, {"label_text", "label"});
                R::press(Qt::Key_Return)(dialog);
            });
        QCOMPARE(result, 1);
        QCOMPARE(shown, row.shown);
        QCOMPARE(captions, row.captions);
        QCOMPARE(said, QStringList({known ? "会员卡已过期" : "签到成功", "请点击合计，继续完成支付"}));
    }

    void messageKeys_data() {
        QTest::addColumn<MessageKey>("row");
        // clang-format off
        QTest::newRow("1 confirms")                   << MessageKey{3, Qt::Key_1, nullptr, true, 1, 0};
        QTest::newRow("Return confirms a retry")      << MessageKey{1, Qt::Key_Return, nullptr, true, 1, 0};
        QTest::newRow("Enter closes a bare notice")   << MessageKey{2, Qt::Key_Enter, nullptr, true, 1, 0};
        QTest::newRow("0 backs out of a retry")       << MessageKey{1, Qt::Key_0, nullptr, true, 0, 0};
        QTest::newRow("0 without a cancel button")    << MessageKey{3, Qt::Key_0, nullptr, false, 1, 0};
        QTest::newRow("0 on a finished notice")       << MessageKey{0, Qt::Key_0, nullptr, false, 1, 0};
        QTest::newRow("Escape is ignored")            << MessageKey{1, Qt::Key_Escape, nullptr, false, 1, 0};
        QTest::newRow("other digits are ignored")     << MessageKey{1, Qt::Key_5, nullptr, false, 1, 0};
        QTest::newRow("2 queries, confirm")           << MessageKey{3, Qt::Key_2, nullptr, false, 1, 1};
        QTest::newRow("2 queries, bare notice")       << MessageKey{2, Qt::Key_2, nullptr, false, 1, 1};
        QTest::newRow("touching return")              << MessageKey{1, 0, "btncancel", true, 0, 0};
        QTest::newRow("touching query")               << MessageKey{3, 0, "btnDetail", false, 1, 1};
        QTest::newRow("touching confirm")             << MessageKey{3, 0, "btnok", true, 1, 0};
        // clang-format on
    }
    void messageKeys() {
        QFETCH(MessageKey, row);
        MessageWidget box(1, true);
        QSignalSpy queries(&box, &MessageWidget::queryRequested);
        bool closed = false;
        const int result = asCashier(
            "MessageWidget", [&] { return box.showMessage("会员不存在", row.type, false); },
            [&](QWidget* dialog) {
                if (row.button)
                    QTest::mouseClick(child(dialog, row.button), Qt::LeftButton);
                else
                    QTest::keyClick(dialog->windowHandle(), Qt::Key(row.key));
                closed = !dialog->isVisible();
                if (!closed)
                    R::press(Qt::Key_1)(dialog);
            });
        QCOMPARE(closed, row.closes);
        QCOMPARE(result, row.result);
        QCOMPARE(queries.count(), row.queries);
    }

    void memberChoice_data() {
        QTest::addColumn<Choice>("row");
        const KeysAt D = KeysAt::Dialog;
        const int Up = Qt::Key_Up, Down = Qt::Key_Down, Ret = Qt::Key_Return, Esc = Qt::Key_Escape;
        // clang-format off
        QTest::newRow("first row by default")   << Choice{3, -1, {Ret}, D, nullptr, 0, 1, "V0001"};
        QTest::newRow("down twice")             << Choice{3, -1, {Down, Down, Qt::Key_Enter}, D, nullptr, 2, 1, "V0003"};
        QTest::newRow("down past the end")      << Choice{3, -1, {Down, Down, Down, Ret}, D, nullptr, 2, 1, "V0003"};
        QTest::newRow("up on the first row")    << Choice{3, -1, {Up, Ret}, D, nullptr, 0, 1, "V0001"};
        QTest::newRow("down and up")            << Choice{3, -1, {Down, Down, Up, Ret}, D, nullptr, 1, 1, "V0002"};
        QTest::newRow("touch the second row")   << Choice{3, 1, {Ret}, D, nullptr, 1, 1, "V0002"};
        QTest::newRow("touch, then down")       << Choice{3, 1, {Down, Ret}, D, nullptr, 2, 1, "V0003"};
        QTest::newRow("keys at the table")      << Choice{3, -1, {Down, Ret}, KeysAt::Table, nullptr, 1, 1, "V0002"};
        QTest::newRow("keys at the panel")      << Choice{3, -1, {Down, Ret}, KeysAt::Panel, nullptr, 1, 1, "V0002"};
        QTest::newRow("keys at the backdrop")   << Choice{3, -1, {Down, Ret}, KeysAt::Backdrop, nullptr, 1, 1, "V0002"};
        QTest::newRow("keys from the window")   << Choice{3, -1, {Down, Down, Ret}, KeysAt::WindowSystem, nullptr, 2, 1, "V0003"};
        QTest::newRow("Escape after moving")    << Choice{3, -1, {Down, Esc}, D, nullptr, 1, 0, ""};
        QTest::newRow("Escape at the table")    << Choice{3, -1, {Esc}, KeysAt::Table, nullptr, 0, 0, ""};
        QTest::newRow("empty list")             << Choice{0, -1, {Ret}, D, nullptr, -1, 1, ""};
        QTest::newRow("return button")          << Choice{2, -1, {Down}, D, "btnReturn", 1, 0, ""};
        QTest::newRow("close button")           << Choice{2, -1, {Down}, D, "btnClose", 1, 0, ""};
        // clang-format on
    }
    void memberChoice() {
        QFETCH(Choice, row);
        VipSelection list;
        const auto press = [&](QWidget* dialog, int key) {
            const QMap<KeysAt, const char*> at = {{KeysAt::Table, "tableView"},
                                                  {KeysAt::Panel, "widgetback"},
                                                  {KeysAt::Backdrop, "widgetblackground"}};
            if (row.at == KeysAt::WindowSystem)
                QTest::keyClick(dialog->windowHandle(), Qt::Key(key));
            else
                QTest::keyClick(at.contains(row.at) ? child(dialog, at[row.at]) : dialog, Qt::Key(key));
        };
        int selected = -2;
        QStringList firstRow;
        const auto steps = [&](QWidget* dialog) {
            auto* table = static_cast<QTableView*>(child(dialog, "tableView"));
            for (int column = 0; column < table->model()->columnCount(); ++column)
                firstRow << table->model()->index(0, column).data().toString();
            if (row.touchRow >= 0) {
                const QRect cell = table->visualRect(table->model()->index(row.touchRow, 1));
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            }
            Keys keys = row.keys;
            const int last = row.button ? 0 : keys.takeLast();
            for (int key : keys)
                press(dialog, key);
            const QModelIndexList rows = table->selectionModel()->selectedRows();
            selected = rows.isEmpty() ? -1 : rows.size() == 1 ? rows.first().row() : -99;
            row.button ? QTest::mouseClick(child(dialog, row.button), Qt::LeftButton) : press(dialog, last);
        };
        QCOMPARE(asCashier(
                     "VipSelection", [&] { return list.run(m_members.mid(0, row.count)); }, steps),
                 row.result);
        QCOMPARE(selected, row.selected);
        QCOMPARE(list.cardNo(), row.cardNo);
        if (row.count)
            QCOMPARE(firstRow, QStringList({"张三", "13800000001", "V0001", "和平路1号"}));
    }

    void memberManagement_data() {
        QTest::addColumn<Manage>("row");
        // clang-format off
        QTest::newRow("key 0 signs in")              << Manage{-1, {Qt::Key_0}, nullptr, 1};
        QTest::newRow("touching the sign-in button") << Manage{-1, {}, "btnVipSignin", 1};
        QTest::newRow("Escape leaves")               << Manage{-1, {Qt::Key_Escape}, nullptr, 0};
        QTest::newRow("Escape after a sign-in")      << Manage{1, {Qt::Key_Escape}, nullptr, 0};
        QTest::newRow("sign-in after leaving")       << Manage{0, {Qt::Key_0}, nullptr, 1};
        QTest::newRow("other keys are ignored")      << Manage{1, {Qt::Key_1, Qt::Key_2, Qt::Key_9, Qt::Key_Return, Qt::Key_Space, Qt::Key_Escape}, nullptr, 0};
        QTest::newRow("hidden return button")        << Manage{1, {}, "btnReturn", 0};
        QTest::newRow("hidden close button")         << Manage{1, {}, "btnClose", 0};
        // clang-format on
    }
    void memberManagement() {
        QFETCH(Manage, row);
        MemberManage screen; // the controller keeps one for good
        if (row.before >= 0)
            QCOMPARE(asCashier(
                         "MemberManage", [&] { return screen.run(); },
                         R::press(row.before ? Qt::Key_0 : Qt::Key_Escape)),
                     row.before);
        int choiceBefore = -1;
        bool open = false;
        const int choice = asCashier(
            "MemberManage", [&] { return screen.run(); },
            [&](QWidget* dialog) {
                Keys keys = row.keys;
                const int last = row.button ? 0 : keys.takeLast();
                for (int key : keys)
                    QTest::keyClick(dialog, Qt::Key(key));
                open = dialog->isVisible();
                choiceBefore = screen.choice();
                row.button ? touch(dialog, row.button) : QTest::keyClick(dialog, Qt::Key(last));
            });
        QVERIFY(open);
        QCOMPARE(choiceBefore, qMax(row.before, 0));
        QCOMPARE(choice, row.choice);
        QCOMPARE(screen.choice(), row.choice);
    }
    // Through the cashier the operations use: each coupon is checked (with the wait screen
    // over the dialog) and the table refilled; a clear takes the current row's coupon off.
    void coupons_data() {
        QTest::addColumn<CouponRun>("row");
        const QStringList three = {"C1001", "C1002", "C1003"};
        const QStringList listed = {"1|C1001|满100减5|5.00|可用", "2|C1002|新客券|0.50|不可用",
                                    "3|C1003|生日券|100.00|异常"};
        const int Up = Qt::Key_Up, Down = Qt::Key_Down, F1 = Qt::Key_F1, F2 = Qt::Key_F2,
                  Esc = Qt::Key_Escape;
        // clang-format off
        QTest::newRow("three written off")      << CouponRun{three, {}, F2, listed, "C1001", {}, true};
        QTest::newRow("empty entry adds nothing") << CouponRun{{""}, {}, Esc, {}, "", {}, false};
        QTest::newRow("any number")             << CouponRun{{"AB 01"}, {}, F2, {"1|AB 01||0.00|可用"}, "AB 01", {}, true};
        QTest::newRow("down twice, clear")      << CouponRun{three, {Down, Down, F1}, F2, listed.mid(0, 2), "C1001", {"C1003"}, true};
        QTest::newRow("down past the end")      << CouponRun{three, {Down, Down, Down, Down}, F2, listed, "C1003", {}, true};
        QTest::newRow("back up after the end")  << CouponRun{three, {Down, Down, Down, Up, F1}, Esc, {listed[0], "2|C1003|生日券|100.00|异常"}, "C1001", {"C1002"}, false};
        QTest::newRow("up on the first row")    << CouponRun{three, {Up, F1}, Esc, {"1|C1002|新客券|0.50|不可用", "2|C1003|生日券|100.00|异常"}, "C1002", {"C1001"}, false};
        QTest::newRow("arrows on an empty table") << CouponRun{{}, {Up, Down}, F2, {}, "", {}, true};
        QTest::newRow("clear on an empty table") << CouponRun{{}, {F1}, Esc, {}, "", {""}, false};
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
            for (const QString& couponNo : row.entered) {
                R::typeAndEnter(couponNo)(dialog);
                focus << QApplication::focusWidget()->objectName();
            }
            for (int key : row.keys)
                R::press(key)(dialog);
            rows = tableRows(dialog);
            current = static_cast<CouponWidget*>(dialog)->currentCouponNo();
            R::press(row.end)(dialog);
        });
        QCOMPARE(cashier.collectCoupons(desk), row.result);
        VERIFY_ROBOT(robot);
        QCOMPARE(focus.filter("txtCode").size(), row.entered.size()); // the next coupon goes into the entry
        QCOMPARE(rows, row.rows);
        QCOMPARE(current, row.current);
        QCOMPARE(desk.removed, row.removed);
    }

    // The same by touch: the buttons, and a row touched, after which the table has the keys.
    void couponsByTouch() {
        DialogCashier cashier;
        CouponCounter desk(cashier);
        QStringList rows;
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
            QTest::keyClick(table, Qt::Key_Up);
            QTest::keyClick(table, Qt::Key_Down);
            QTest::keyClick(table, Qt::Key_F1);
            rows = tableRows(dialog);
            touch(dialog, "btncheck");
        });
        QVERIFY(cashier.collectCoupons(desk));
        VERIFY_ROBOT(robot);
        QCOMPARE(desk.removed, QStringList({"C1001", "C1003"}));
        QCOMPARE(rows, QStringList{"1|C1002|新客券|0.50|不可用"});
        robot.when("CouponWidget", [&](QWidget* dialog) { touch(dialog, "btncancel"); });
        QVERIFY(!cashier.collectCoupons(desk));
        VERIFY_ROBOT(robot);
    }

    // What the operations ask, as the cashier sees it; each dialog is built when first asked for.
    void cashierQuestions() {
        const auto windows = [] {
            QStringList names;
            for (QWidget* window : QApplication::topLevelWidgets())
                names << window->objectName();
            names.sort();
            return names;
        };
        const QStringList before = windows();
        DialogCashier cashier;
        QCOMPARE(windows(), before);
        QStringList shown;
        const auto read = [&](const QStringList& names, const QString& typed) {
            return [&shown, names, typed](QWidget* dialog) {
                const QLineEdit* field = dialog->findChild<QLineEdit*>();
                shown += texts(dialog, names) << field->text() << QString::number(field->echoMode());
                // Backing out leaves typing behind, which the next question must not show.
                typed.isEmpty() ? R::sequence({R::type("88"), R::press(Qt::Key_Escape)})(dialog)
                                : R::typeAndEnter(typed)(dialog);
            };
        };
        const QStringList login = {"lblModeName", "lblhelp", "lblCodeType"};
        CashierRobot robot;
        robot.when("MemberLogin", read(login, ""));
        QCOMPARE(cashier.memberCode(), std::nullopt);
        QStringList withLogin = before + QStringList{"MemberLogin"};
        withLogin.sort();
        QCOMPARE(windows(), withLogin); // the first question built only the dialog it needed
        robot.when("MemberLogin", read(login, "8800001"))
            .when("MemberLogin", read(login, "123456"))
            .when("JFPayWidget", read({"lblTotal", "lblhelp1"}, "5.5"))
            .expectMessage("会员不存在");
        QCOMPARE(cashier.memberCode(), QString("8800001"));
        QCOMPARE(cashier.password("8800002"), QString("123456"));
        QCOMPARE(cashier.pointsAmount("32.50", "10.00"), QString("5.5"));
        cashier.showMessage("会员不存在");
        VERIFY_ROBOT(robot);
        const QString N = QString::number(QLineEdit::Normal), P = QString::number(QLineEdit::Password);
        QCOMPARE(shown, QStringList({"会员验证", "", "号码/姓名：", "", N, "会员验证", "", "号码/姓名：", "",
                                     N, "会员密码验证", "会员：8800002", "密码：", "", P, "32.50",
                                     "【Esc】：返回   【Enter】：确定   【Backspace】：删除", "", N}));
    }

    void waitScreen() {
        DialogCashier cashier;
        cashier.showBusy("请稍等，处理中...");
        const auto busy = [] {
            QStringList texts;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == "WaitWidget" && window->isVisible())
                    texts << window->findChild<QLabel*>("label_text")->text() + "|" +
                                 window->findChild<QLabel*>("lbldot")->text();
            return texts;
        };
        QCOMPARE(busy(), QStringList{"请稍等，处理中...|"});
        cashier.hideBusy();
        QCOMPARE(busy(), QStringList());
        WaitWidget plain;
        plain.show();
        QCOMPARE(busy(), QStringList{"请稍等，操作中|"});
    }

    // The robot's own report: what did not go to script, and the dialog backed out of.
    void robotReport_data() {
        QTest::addColumn<RobotScript>("row");
        // clang-format off
        QTest::newRow("message, nothing expected") << RobotScript{"", "MessageWidget", 1, "unexpected MessageWidget \"签到成功\" (expected nothing)"};
        QTest::newRow("entry instead of the list") << RobotScript{"VipSelection", "MemberLogin", 0, "unexpected MemberLogin (expected VipSelection)\nexpected VipSelection never shown"};
        QTest::newRow("nothing shown")             << RobotScript{"VipSelection", "", 0, "expected VipSelection never shown"};
        QTest::newRow("wrong message text")        << RobotScript{"签到失败", "MessageWidget", 1, "MessageWidget shows \"签到成功\", expected \"签到失败\""};
        QTest::newRow("left open: watchdog")       << RobotScript{"MemberManage", "MemberManage", 0, "MemberManage still open after 300 ms, backed out"};
        // clang-format on
    }
    void robotReport() {
        QFETCH(RobotScript, row);
        CashierRobot robot;
        robot.setWatchdogMs(300);
        if (row.expected == "MemberManage")
            robot.when(row.expected, [](QWidget*) {}); // the cashier walks away
        else if (row.expected.startsWith("Vip"))
            robot.when(row.expected, R::press(Qt::Key_Return));
        else if (!row.expected.isEmpty())
            robot.expectMessage(row.expected);
        MemberLogin login;
        const int result = row.shown == "MessageWidget" ? MessageWidget().showMessage("签到成功", 0, false)
                           : row.shown == "MemberLogin"  ? login.run()
                           : row.shown == "MemberManage" ? MemberManage().run()
                                                         : 0;
        QCOMPARE(result, row.result);
        QCOMPARE(robot.failures(), row.failures);
        QCOMPARE(robot.takeFailures().join('\n'), row.failures);
        QVERIFY(robot.allDone());
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
