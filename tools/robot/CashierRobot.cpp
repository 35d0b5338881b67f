#include "CashierRobot.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

// Long enough for the dialog to have entered its own loop, short enough to keep things brisk.
constexpr int kActionDelayMs = 20;
// How long a dialog backed out of gets to close by its own key before it is closed for it.
constexpr int kBackOutGraceMs = 200;

const QString kWaitScreen = QStringLiteral("WaitWidget");
const QString kMessageBox = QStringLiteral("MessageWidget");
const QStringList kCashierDialogs =
    QStringLiteral("MessageWidget MemberLogin JFPayWidget CouponWidget VipSelection MemberManage").split(' ');

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

CashierRobot& CashierRobot::when(const QString& dialogName, Action action, const QString& picture) {
    m_expected.append({dialogName, picture.isEmpty() ? dialogName : picture, std::move(action)});
    return *this;
}

CashierRobot& CashierRobot::expectMessage(const QString& exactText, int closeKey, const QString& picture) {
    const auto read = [this, exactText, closeKey](QWidget* dialog) {
        const QString text = labelText(dialog);
        m_seenTexts.append(text);
        if (text != exactText)
            m_failures.append(
                QStringLiteral("MessageWidget shows \"%1\", expected \"%2\"").arg(text, exactText));
        press(closeKey)(dialog);
    };
    return when(kMessageBox, read, picture);
}

CashierRobot::Action CashierRobot::type(const QString& text) {
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
    };
}

CashierRobot::Action CashierRobot::press(int key) {
    return [key](QWidget* dialog) { QTest::keyClick(keyTarget(dialog), Qt::Key(key)); };
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

// The picture shows the screen as the cashier sees it: the till underneath, then
// every window still open below this one, then the window itself.
QString CashierRobot::photograph(QWidget* window, const QString& picture) {
    if (!window || m_pictureDir.isEmpty())
        return QString();
    QPixmap canvas(window->screen() ? window->screen()->size() : window->size());
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    QList<QPointer<QWidget>> layers = {m_backdrop};
    layers += m_open.mid(0, qMax(0, m_open.indexOf(window)));
    for (const QPointer<QWidget>& below : layers)
        if (below && below != window && below->isVisible())
            painter.drawPixmap(below->pos(), below->grab());
    painter.drawPixmap(window->pos(), window->grab());
    painter.end();
    const QString name =
        QStringLiteral("%1-%2.png").arg(m_pictures.size() + 1, 2, 10, QLatin1Char('0')).arg(picture);
    const QString file = QDir(m_pictureDir).filePath(name);
    if (!canvas.save(file))
        m_failures.append(QStringLiteral("cannot save the picture %1").arg(file));
    m_pictures.append(file);
    emit photographed(file);
    return file;
}

QString CashierRobot::labelText(QWidget* dialog, const QString& labelName) {
    const QLabel* label = dialog ? dialog->findChild<QLabel*>(labelName) : nullptr;
    return label ? label->text() : QString();
}

QString CashierRobot::failures() const {
    QStringList lines = m_failures;
    for (const Expectation& e : m_expected)
        lines.append(QStringLiteral("expected %1 never shown").arg(e.dialog));
    return lines.join('\n');
}

QStringList CashierRobot::takeFailures() {
    const QString report = failures();
    m_failures.clear();
    m_expected.clear();
    return report.isEmpty() ? QStringList() : report.split('\n');
}

bool CashierRobot::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type kind = event->type();
    if ((kind == QEvent::Show || kind == QEvent::Hide) && !event->spontaneous() && watched->isWidgetType()) {
        auto* window = static_cast<QWidget*>(watched);
        if (window->isWindow() && window != m_backdrop) {
            m_open.removeAll(window);
            m_showing.remove(window);
            if (kind == QEvent::Show) {
                m_open.append(window);
                if (window->objectName() == kWaitScreen)
                    snapWaitScreen(window);
                else if (isCashierDialog(window))
                    shown(window);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

// The wait screen comes and goes with every CRM exchange; the cashier does nothing with
// it. Any other dialog would block the caller like one of ours (a stray QMessageBox, say).
bool CashierRobot::isCashierDialog(QWidget* window) const {
    const QString name = window->objectName();
    const Qt::WindowType kind = window->windowType();
    return kCashierDialogs.contains(name) || (!m_expected.isEmpty() && m_expected.first().dialog == name) ||
           (qobject_cast<QDialog*>(window) && kind != Qt::Popup && kind != Qt::ToolTip);
}

bool CashierRobot::stillShowing(const QPointer<QWidget>& window, quint64 showing) const {
    return window && window->isVisible() && m_showing.value(window) == showing;
}

// The exchange behind the wait screen runs in a loop of its own; the picture is taken
// from inside that loop, once the screen is painted.
void CashierRobot::snapWaitScreen(QWidget* screen) {
    if (m_waitPicture.isEmpty())
        return;
    QTimer::singleShot(0, this, [this, guard = QPointer<QWidget>(screen), picture = m_waitPicture] {
        if (!guard || !guard->isVisible())
            return; // gone already: the next one is photographed
        m_waitPicture.clear();
        photograph(guard, picture);
    });
}

void CashierRobot::shown(QWidget* dialog) {
    const quint64 showing = ++m_shows;
    m_showing.insert(dialog, showing);
    QPointer<QWidget> guard = dialog;
    const QString name = dialog->objectName();
    Expectation next{name, QStringLiteral("unexpected-") + name, nullptr};
    if (!m_expected.isEmpty() && m_expected.first().dialog == name) {
        next = m_expected.takeFirst();
    } else {
        const QString text = labelText(dialog);
        const QString what = name.isEmpty()   ? QString::fromLatin1(dialog->metaObject()->className())
                             : text.isEmpty() ? name
                                              : QStringLiteral("%1 \"%2\"").arg(name, text);
        const QString expected = m_expected.isEmpty() ? QStringLiteral("nothing") : m_expected.first().dialog;
        m_failures.append(QStringLiteral("unexpected %1 (expected %2)").arg(what, expected));
    }

    QTimer::singleShot(kActionDelayMs, this, [this, guard, showing, next] {
        if (!stillShowing(guard, showing)) {
            if (next.action)
                m_failures.append(next.dialog + QStringLiteral(" closed before the cashier acted"));
            return;
        }
        photograph(guard, next.picture);
        if (next.action)
            next.action(guard);
        // Off script, or left open by a step that failed the test: backed out of at once.
        if ((!next.action || QTest::currentTestFailed()) && stillShowing(guard, showing))
            backOut(guard, showing);
    });
    const int watchdogMs = m_watchdogMs;
    QTimer::singleShot(watchdogMs, Qt::PreciseTimer, this, [this, guard, showing, name, watchdogMs] {
        if (!stillShowing(guard, showing))
            return;
        m_failures.append(QStringLiteral("%1 still open after %2 ms, backed out").arg(name).arg(watchdogMs));
        backOut(guard, showing);
    });
}

// Leaves the dialog the way the cashier would back out of it; should that not work,
// closes it outright, so that nothing ever hangs on a dialog.
void CashierRobot::backOut(QWidget* dialog, quint64 showing) {
    if (dialog->objectName() == kMessageBox)
        press(Qt::Key_1)(dialog); // it ignores Escape
    else if (auto* asDialog = qobject_cast<QDialog*>(dialog))
        asDialog->reject();
    else
        press(Qt::Key_Escape)(dialog);

    QTimer::singleShot(kBackOutGraceMs, this, [this, guard = QPointer<QWidget>(dialog), showing] {
        if (!stillShowing(guard, showing))
            return;
        if (auto* asDialog = qobject_cast<QDialog*>(guard.data()))
            asDialog->done(QDialog::Rejected);
        else
            guard->close();
    });
}
