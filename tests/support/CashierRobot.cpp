#include "CashierRobot.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

namespace {

// Long enough for the dialog to have entered its own loop, short enough not to slow tests.
constexpr int kActionDelayMs = 10;
// How long a dismissed dialog gets to close by its own key before it is closed for it.
constexpr int kDismissGraceMs = 100;

const QStringList& cashierDialogs() {
    static const QStringList names = {"MessageWidget", "MemberLogin",  "JFPayWidget",
                                      "CouponWidget",  "VipSelection", "MemberManage"};
    return names;
}

// The wait screen comes and goes with every CRM exchange; the cashier does nothing with it.
const QString kWaitScreen = QStringLiteral("WaitWidget");

// Activates the dialog and picks where the cashier's keys land. On the offscreen
// platform the focus does not come back to a window by itself once a window above it
// (the wait screen) has closed, so it is handed back here explicitly.
QWidget* keyTarget(QWidget* dialog) {
    dialog->activateWindow();
    QApplication::setActiveWindow(dialog);
    const auto usable = [](QLineEdit* e) {
        return e && e->isVisible() && e->isEnabled() && !e->isReadOnly();
    };
    QLineEdit* edit = qobject_cast<QLineEdit*>(dialog->focusWidget());
    if (!usable(edit)) {
        edit = nullptr;
        for (QLineEdit* e : dialog->findChildren<QLineEdit*>()) {
            if (usable(e)) {
                edit = e;
                break;
            }
        }
    }
    if (!edit)
        return dialog;
    edit->setFocus(Qt::OtherFocusReason);
    return edit;
}

} // namespace

CashierRobot::CashierRobot(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

CashierRobot::~CashierRobot() {
    if (qApp)
        qApp->removeEventFilter(this);
}

CashierRobot& CashierRobot::when(const QString& dialogName, Action action) {
    expected_.append({dialogName, std::move(action)});
    return *this;
}

CashierRobot& CashierRobot::expectMessage(const QString& exactText, int closeKey) {
    return when(QStringLiteral("MessageWidget"), [this, exactText, closeKey](QWidget* dialog) {
        const QString text = labelText(dialog);
        seenTexts_.append(text);
        if (text != exactText)
            fail(QStringLiteral("MessageWidget shows \"%1\", expected \"%2\"").arg(text, exactText));
        press(closeKey)(dialog);
    });
}

CashierRobot::Action CashierRobot::typeAndEnter(const QString& text) {
    return [text](QWidget* dialog) {
        QPointer<QWidget> target = keyTarget(dialog);
        // QTest only knows keys for ASCII; anything else (a Chinese name) arrives
        // as text, the way an input method hands it to the entry field.
        for (const QChar ch : text) {
            if (!target)
                return;
            if (ch.unicode() < 128)
                QTest::keyClick(target, ch.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
        if (target)
            QTest::keyClick(target, Qt::Key_Return);
    };
}

CashierRobot::Action CashierRobot::press(int key) {
    return [key](QWidget* dialog) { QTest::keyClick(keyTarget(dialog), Qt::Key(key)); };
}

CashierRobot::Action CashierRobot::keys(const QList<int>& keys) {
    QList<Action> steps;
    for (int key : keys)
        steps.append(press(key));
    return sequence(steps);
}

CashierRobot::Action CashierRobot::sequence(const QList<Action>& steps) {
    return [steps](QWidget* dialog) {
        QPointer<QWidget> guard = dialog;
        for (const Action& step : steps) {
            if (!guard || !guard->isVisible())
                return;
            step(guard);
        }
    };
}

QString CashierRobot::labelText(QWidget* dialog, const QString& labelName) {
    const QLabel* label = dialog ? dialog->findChild<QLabel*>(labelName) : nullptr;
    return label ? label->text() : QString();
}

QStringList CashierRobot::seenTexts() const {
    return seenTexts_;
}

bool CashierRobot::allDone() const {
    return expected_.isEmpty() && failures_.isEmpty();
}

QString CashierRobot::failures() const {
    QStringList lines = failures_;
    for (const Expectation& e : expected_)
        lines.append(QStringLiteral("expected %1 never shown").arg(e.dialog));
    return lines.join('\n');
}

int CashierRobot::pending() const {
    return expected_.size();
}

void CashierRobot::setWatchdogMs(int ms) {
    watchdogMs_ = ms;
}

bool CashierRobot::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType() && !event->spontaneous()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (type == QEvent::Hide)
            showing_.remove(widget);
        else if (widget->isWindow() && isCashierDialog(widget))
            shown(widget);
    }
    return QObject::eventFilter(watched, event);
}

bool CashierRobot::isCashierDialog(QWidget* window) const {
    const QString name = window->objectName();
    if (name == kWaitScreen)
        return false;
    if (cashierDialogs().contains(name) || (!expected_.isEmpty() && expected_.first().dialog == name))
        return true;
    // Any other dialog would block the test just the same (a stray QMessageBox, say).
    const Qt::WindowType kind = window->windowType();
    return qobject_cast<QDialog*>(window) && kind != Qt::Popup && kind != Qt::ToolTip;
}

void CashierRobot::shown(QWidget* dialog) {
    const quint64 showing = ++shows_;
    showing_.insert(dialog, showing);
    QPointer<QWidget> guard = dialog;
    const auto stillShowing = [this, guard, showing] {
        return guard && guard->isVisible() && showing_.value(guard) == showing;
    };

    const QString name = dialog->objectName();
    if (!expected_.isEmpty() && expected_.first().dialog == name) {
        const Action action = expected_.takeFirst().action;
        QTimer::singleShot(kActionDelayMs, this, [this, guard, action, stillShowing, name] {
            if (!stillShowing())
                return fail(QStringLiteral("%1 closed before the cashier acted").arg(name));
            action(guard);
        });
    } else {
        const QString expected = expected_.isEmpty() ? QStringLiteral("nothing") : expected_.first().dialog;
        fail(QStringLiteral("unexpected %1 (expected %2)").arg(describe(dialog), expected));
        QTimer::singleShot(kActionDelayMs, this, [this, guard, showing, stillShowing] {
            if (stillShowing())
                dismiss(guard, showing);
        });
    }

    const int watchdogMs = watchdogMs_;
    QTimer::singleShot(
        watchdogMs, Qt::PreciseTimer, this, [this, guard, showing, stillShowing, name, watchdogMs] {
            if (!stillShowing())
                return;
            fail(QStringLiteral("%1 still open after %2 ms, dismissed").arg(name).arg(watchdogMs));
            dismiss(guard, showing);
        });
}

// Closes the dialog the way the cashier would back out of it; should that not work,
// closes it outright, so a test never hangs on a dialog.
void CashierRobot::dismiss(QWidget* dialog, quint64 showing) {
    QPointer<QWidget> guard = dialog;
    auto* asDialog = qobject_cast<QDialog*>(dialog);
    if (dialog->objectName() == QLatin1String("MessageWidget"))
        press(Qt::Key_1)(dialog); // it ignores Escape
    else if (asDialog)
        asDialog->reject();
    else
        press(Qt::Key_Escape)(dialog);

    QTimer::singleShot(kDismissGraceMs, this, [this, guard, showing] {
        if (!guard || !guard->isVisible() || showing_.value(guard) != showing)
            return;
        if (auto* d = qobject_cast<QDialog*>(guard.data()))
            d->done(QDialog::Rejected);
        else
            guard->close();
    });
}

void CashierRobot::fail(const QString& what) {
    failures_.append(what);
}

QString CashierRobot::describe(QWidget* dialog) {
    const QString text = labelText(dialog);
    if (dialog->objectName() == QLatin1String("MessageWidget") && !text.isEmpty())
        return QStringLiteral("MessageWidget \"%1\"").arg(text);
    return dialog->objectName().isEmpty() ? QString::fromLatin1(dialog->metaObject()->className())
                                          : dialog->objectName();
}
