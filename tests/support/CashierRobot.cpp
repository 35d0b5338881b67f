#include "CashierRobot.h"

#include <QtWidgets>

namespace {

// Long enough for the dialog to have entered its own loop, short enough not to slow tests.
constexpr int kActionDelayMs = 10;
// How long a dismissed dialog gets to close by its own key before it is closed for it.
constexpr int kDismissGraceMs = 100;
// The window property that tells which show of a window is the current one.
const char* const kShowing = "cashierRobotShowing";

const QStringList kCashierDialogs = {"MessageWidget", "MemberLogin",  "JFPayWidget",
                                     "CouponWidget",  "VipSelection", "MemberManage"};

bool stillShowing(const QPointer<QWidget>& dialog, quint64 showing) {
    return dialog && dialog->isVisible() && dialog->property(kShowing).toULongLong() == showing;
}

// Activates the dialog and picks where the cashier's keys land: the focused line edit,
// else the first usable one. On the offscreen platform the focus does not come back to
// a window by itself once a window above it (the wait screen) has closed, so it is
// handed back here explicitly.
QWidget* keyTarget(QWidget* dialog) {
    dialog->activateWindow();
    QApplication::setActiveWindow(dialog);
    QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
    edits.prepend(qobject_cast<QLineEdit*>(dialog->focusWidget()));
    for (QLineEdit* edit : edits) {
        if (edit && edit->isVisible() && edit->isEnabled() && !edit->isReadOnly()) {
            edit->setFocus(Qt::OtherFocusReason);
            return edit;
        }
    }
    return dialog;
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
            failures_.append(
                QStringLiteral("MessageWidget shows \"%1\", expected \"%2\"").arg(text, exactText));
        press(closeKey)(dialog);
    });
}

CashierRobot::Action CashierRobot::typeAndEnter(const QString& text) {
    return [text](QWidget* dialog) {
        QPointer<QWidget> target = keyTarget(dialog);
        // QTest only knows keys for ASCII; anything else (a Chinese name) arrives
        // as text, the way an input method hands it to the entry field.
        for (const QChar ch : text + '\r') {
            if (!target)
                return;
            if (ch.unicode() < 128)
                QTest::keyClick(target, ch.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
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

QString CashierRobot::failures() const {
    QStringList lines = failures_;
    for (const Expectation& e : expected_)
        lines.append(QStringLiteral("expected %1 never shown").arg(e.dialog));
    return lines.join('\n');
}

bool CashierRobot::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && isCashierDialog(widget))
            shown(widget);
    }
    return QObject::eventFilter(watched, event);
}

// The wait screen comes and goes with every CRM exchange; the cashier does nothing with
// it. Any other dialog would block the test like one of ours (a stray QMessageBox, say).
bool CashierRobot::isCashierDialog(QWidget* window) const {
    const QString name = window->objectName();
    const Qt::WindowType kind = window->windowType();
    return name != QLatin1String("WaitWidget") &&
           (kCashierDialogs.contains(name) || (!expected_.isEmpty() && expected_.first().dialog == name) ||
            (qobject_cast<QDialog*>(window) && kind != Qt::Popup && kind != Qt::ToolTip));
}

void CashierRobot::shown(QWidget* dialog) {
    const quint64 showing = ++shows_;
    dialog->setProperty(kShowing, showing);
    QPointer<QWidget> guard = dialog;
    const QString name = dialog->objectName();
    Action action;
    if (!expected_.isEmpty() && expected_.first().dialog == name) {
        action = expected_.takeFirst().action;
    } else {
        const QString text = labelText(dialog);
        const QString what = name == QLatin1String("MessageWidget") && !text.isEmpty()
                                 ? QStringLiteral("MessageWidget \"%1\"").arg(text)
                             : name.isEmpty() ? QString::fromLatin1(dialog->metaObject()->className())
                                              : name;
        failures_.append(
            QStringLiteral("unexpected %1 (expected %2)")
                .arg(what, expected_.isEmpty() ? QStringLiteral("nothing") : expected_.first().dialog));
    }

    QTimer::singleShot(kActionDelayMs, this, [=] {
        if (action && !stillShowing(guard, showing))
            return failures_.append(name + " closed before the cashier acted");
        if (action)
            action(guard);
        // Off script, or left open by a step that failed the test: backed out of at once.
        if ((!action || QTest::currentTestFailed()) && stillShowing(guard, showing))
            dismiss(guard, showing);
    });
    const int watchdogMs = watchdogMs_;
    QTimer::singleShot(watchdogMs, Qt::PreciseTimer, this, [=] {
        if (!stillShowing(guard, showing))
            return;
        failures_.append(QStringLiteral("%1 still open after %2 ms, dismissed").arg(name).arg(watchdogMs));
        dismiss(guard, showing);
    });
}

// Closes the dialog the way the cashier would back out of it; should that not work,
// closes it outright, so a test never hangs on a dialog.
void CashierRobot::dismiss(QWidget* dialog, quint64 showing) {
    if (dialog->objectName() == QLatin1String("MessageWidget"))
        press(Qt::Key_1)(dialog); // it ignores Escape
    else if (auto* asDialog = qobject_cast<QDialog*>(dialog))
        asDialog->reject();
    else
        press(Qt::Key_Escape)(dialog);

    QTimer::singleShot(kDismissGraceMs, this, [guard = QPointer<QWidget>(dialog), showing] {
        if (!stillShowing(guard, showing))
            return;
        if (auto* d = qobject_cast<QDialog*>(guard.data()))
            d->done(QDialog::Rejected);
        else
            guard->close();
    });
}
