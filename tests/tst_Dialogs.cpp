// The plug-in's dialogs driven by the cashier robot with real key events from inside
// their own loops: what each key does, what an entry keeps, and what a run returns.

#include "CashierRobot.h"
#include "ui/JFPayWidget.h"
#include "ui/MemberLogin.h"
#include "ui/MemberManage.h"
#include "ui/MessageWidget.h"
#include "ui/VipSelection.h"

#include <QtTest>
#include <QtWidgets>

using R = CashierRobot;
using Keys = QList<int>;

namespace {

enum class Keypad { MemberCode, Points };

// Both keypad dialogs, fresh; the row's one is the dialog under test.
struct Keypads {
    MemberLogin login;
    JFPayWidget points;
    Keypad which;
    explicit Keypads(Keypad dialog) : which(dialog) {}
    KeypadDialog& dialog() { return which == Keypad::Points ? static_cast<KeypadDialog&>(points) : login; }
    int run() { return which == Keypad::Points ? points.run("88.00", "20.00") : login.run(); }
};
enum class KeysAt { Dialog, Table, Panel, Backdrop, WindowSystem };

// clang-format off
// The cashier types into the entry, then presses key at target (the entry, a panel) or,
// with no key, touches target; field: the entry afterwards; input: after a previous run
// that confirmed 777. A dialog still open after that is left with Escape.
struct Entry { Keypad dialog; QString typed; const char* target; int key; QString field; int result; QString input; };
struct Touches { Keypad dialog; QStringList buttons; QStringList seen; };
// A message of type on a box that showed one of type previous before.
struct Layout { int style; bool detail; int previous; int type; bool hint; QStringList shown; QStringList captions; };
struct MessageKey { int type; int key; const char* button; bool closes; int result; int queries; };
// Touch a row, then keys (or the button last); selected: the row before the last step.
struct Choice { int count; int touchRow; Keys keys; KeysAt at; const char* button; int selected; int result; QString cardNo; };
struct Manage { int before; Keys keys; const char* button; int choice; };
// clang-format on

QWidget* part(QWidget* dialog, const char* name) {
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
    if (auto* button = qobject_cast<QAbstractButton*>(part(dialog, name)))
        button->click();
    else
        QTest::mouseClick(part(dialog, name), Qt::LeftButton, {}, QPoint(2, 2));
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

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Touches)
Q_DECLARE_METATYPE(Layout)
Q_DECLARE_METATYPE(MessageKey)
Q_DECLARE_METATYPE(Choice)
Q_DECLARE_METATYPE(Manage)

class tst_Dialogs : public QObject {
    Q_OBJECT

private slots:
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
        QTest::newRow("points: letter at the panel")    << Entry{P, "12", panel, Qt::Key_A, "12", 0, "777"};
        QTest::newRow("points: touching the panel")     << Entry{P, "12", panel, 0, "12", 0, "777"};
        QTest::newRow("code: empty entry")              << Entry{M, "", entry, Return, "", 0, ""};
        QTest::newRow("code: card number")              << Entry{M, "6222001234", entry, Return, "", 1, "6222001234"};
        QTest::newRow("code: digits and a letter")      << Entry{M, "13800138000a", entry, Qt::Key_Enter, "", 1, "13800138000a"};
        QTest::newRow("code: name")                     << Entry{M, "Li Lei张三", entry, Return, "", 1, "Li Lei张三"};
        QTest::newRow("code: Escape")                   << Entry{M, "88", entry, Esc, "88", 0, "777"};
        QTest::newRow("code: digit at the panel")       << Entry{M, "12", panel, Qt::Key_3, "123", 0, "777"};
        QTest::newRow("code: Return at the panel")      << Entry{M, "12", panel, Return, "", 1, "12"};
        QTest::newRow("code: touching the panel")       << Entry{M, "12", panel, 0, "12", 0, "777"};
        // clang-format on
    }
    void keypad() {
        QFETCH(Entry, row);
        Keypads keypads(row.dialog);
        KeypadDialog& dialog = keypads.dialog();
        QLineEdit* field = dialog.findChild<QLineEdit*>();
        const auto run = [&](const R::Action& steps) {
            return asCashier(
                dialog.objectName(), [&] { return keypads.run(); }, steps);
        };
        QCOMPARE(run(R::typeAndEnter("777")), 1);
        QString after;
        QCOMPARE(run([&](QWidget* shown) {
                     R::type(row.typed)(shown);
                     QWidget* target = qstrcmp(row.target, "entry") ? part(shown, row.target) : field;
                     row.key ? QTest::keyClick(target, Qt::Key(row.key)) : touch(shown, row.target);
                     after = field->text();
                     if (shown->isVisible())
                         R::press(Qt::Key_Escape)(shown);
                 }),
                 row.result);
        QCOMPARE(after, row.field);
        QCOMPARE(dialog.input(), row.input);
    }

    // The touch keypad is out of sight but still wired: each key edits the entry.
    void keypadTouches_data() {
        QTest::addColumn<Touches>("row");
        QTest::newRow("points") << Touches{
            Keypad::Points,
            {"btndot", "btn1", "btn0", "btndot", "btndot", "btn5", "btn9", "btn0", "btnUpdNum", "btn8"},
            {"", "1", "10", "10.", "10.", "10.5", "10.59", "10.59", "", "8"}};
        QTest::newRow("member code") << Touches{
            Keypad::MemberCode,
            {"btn2", "btn3", "btn4", "btnBackSpace", "btn6", "btnUpdNum", "btn7", "btn0", "btnBackSpace"},
            {"2", "23", "234", "23", "236", "", "7", "70", "7"}};
    }
    void keypadTouches() {
        QFETCH(Touches, row);
        Keypads keypads(row.dialog);
        KeypadDialog& dialog = keypads.dialog();
        QStringList shown, seen;
        const auto steps = [&](QWidget* keypad) {
            shown = visible(keypad, {"widgetkey", "btnReturn", "btnClose", "lblModeName"});
            for (const QString& button : row.buttons) {
                touch(keypad, qPrintable(button));
                seen << keypad->findChild<QLineEdit*>()->text();
            }
            touch(keypad, "btnOK");
        };
        QCOMPARE(asCashier(
                     dialog.objectName(), [&] { return keypads.run(); }, steps),
                 1);
        QCOMPARE(shown, QStringList{"lblModeName"});
        QCOMPARE(seen, row.seen);
        QCOMPARE(dialog.input(), row.seen.last());
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
                    QTest::mouseClick(part(dialog, row.button), Qt::LeftButton);
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
        const QStringList cells[3] = {{"张三", "13800000001", "V0001", "和平路1号"},
                                      {"李四", "13800000002", "V0002", "解放大道200号"},
                                      {"王五", "13800000003", "V0003", "中山北路35号3栋"}};
        QList<MemberRec> candidates;
        for (int i = 0; i < row.count; ++i) {
            candidates << MemberRec();
            candidates.last().cardNo = cells[i][2];
            candidates.last().name = cells[i][0];
            candidates.last().mobile = cells[i][1];
            candidates.last().address = cells[i][3];
        }
        VipSelection list;
        int selected = -2;
        QStringList firstRow;
        const auto steps = [&](QWidget* dialog) {
            const QMap<KeysAt, const char*> at = {{KeysAt::Table, "tableView"},
                                                  {KeysAt::Panel, "widgetback"},
                                                  {KeysAt::Backdrop, "widgetblackground"}};
            const auto press = [&](int key) {
                if (row.at == KeysAt::WindowSystem)
                    QTest::keyClick(dialog->windowHandle(), Qt::Key(key));
                else
                    QTest::keyClick(at.contains(row.at) ? part(dialog, at[row.at]) : dialog, Qt::Key(key));
            };
            auto* table = dialog->findChild<QTableView*>();
            for (int column = 0; column < table->model()->columnCount(); ++column)
                firstRow << table->model()->index(0, column).data().toString();
            if (row.touchRow >= 0) {
                const QRect cell = table->visualRect(table->model()->index(row.touchRow, 1));
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            }
            Keys keys = row.keys;
            const int last = row.button ? 0 : keys.takeLast();
            for (int key : keys)
                press(key);
            const QModelIndexList rows = table->selectionModel()->selectedRows();
            selected = rows.isEmpty() ? -1 : rows.size() == 1 ? rows.first().row() : -99;
            row.button ? QTest::mouseClick(part(dialog, row.button), Qt::LeftButton) : press(last);
        };
        QCOMPARE(asCashier(
                     "VipSelection", [&] { return list.run(candidates); }, steps),
                 row.result);
        QCOMPARE(selected, row.selected);
        QCOMPARE(list.cardNo(), row.cardNo);
        if (row.count)
            QCOMPARE(firstRow, cells[0]);
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
        bool open = false, titleBarShown = true;
        const int choice = asCashier(
            "MemberManage", [&] { return screen.run(); },
            [&](QWidget* dialog) {
                Keys keys = row.keys;
                const int last = row.button ? 0 : keys.takeLast();
                for (int key : keys)
                    QTest::keyClick(dialog, Qt::Key(key));
                open = dialog->isVisible();
                titleBarShown = dialog->findChild<QWidget*>("btnReturn")->isVisible() ||
                                dialog->findChild<QWidget*>("btnClose")->isVisible();
                choiceBefore = screen.choice();
                row.button ? touch(dialog, row.button) : QTest::keyClick(dialog, Qt::Key(last));
            });
        QVERIFY(open);
        QVERIFY(!titleBarShown); // the title bar buttons are not offered; a touch on them is still handled
        QCOMPARE(choiceBefore, qMax(row.before, 0));
        QCOMPARE(choice, row.choice);
        QCOMPARE(screen.choice(), row.choice);
    }
    // Through the cashier the operations use: each coupon is checked (with the wait screen
    // over the dialog) and the table refilled; a clear takes the current row's coupon off.
};

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
