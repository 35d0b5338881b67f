#include "AutoCashier.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

// Long enough for the dialog to be inside its own loop, short enough to keep the day brisk.
constexpr int kActDelayMs = 40;
// A dialog the cashier acts on closes within milliseconds; the longest, the coupon
// dialog, waits for a few CRM exchanges (each with its own time-out) while open.
constexpr int kWatchdogMs = 30000;
constexpr int kBackOutGraceMs = 300;

const QString kWaitScreen = QStringLiteral("WaitWidget");
const QString kMessageBox = QStringLiteral("MessageWidget");

bool isPluginDialog(const QString& name) {
    static const QStringList names = {kMessageBox,
                                      QStringLiteral("MemberLogin"),
                                      QStringLiteral("JFPayWidget"),
                                      QStringLiteral("CouponWidget"),
                                      QStringLiteral("VipSelection"),
                                      QStringLiteral("MemberManage")};
    return names.contains(name);
}

// Where the cashier's keys land: the dialog's entry field when it has one. On the
// offscreen platform a dialog does not get the focus back by itself once the wait
// screen above it has closed, so the window is activated and the field focused here.
QWidget* keyTarget(QWidget* dialog) {
    dialog->activateWindow();
    QApplication::setActiveWindow(dialog);
    const auto usable = [](QLineEdit* edit) {
        return edit && edit->isVisible() && edit->isEnabled() && !edit->isReadOnly();
    };
    QLineEdit* edit = qobject_cast<QLineEdit*>(dialog->focusWidget());
    if (!usable(edit)) {
        edit = nullptr;
        for (QLineEdit* candidate : dialog->findChildren<QLineEdit*>()) {
            if (usable(candidate)) {
                edit = candidate;
                break;
            }
        }
    }
    if (!edit)
        return dialog;
    edit->setFocus(Qt::OtherFocusReason);
    return edit;
}

// One key stroke, press and release, delivered like the keyboard's: a key the entry
// field does not take travels on to its parents and the dialog.
void stroke(QWidget* target, int key, const QString& text) {
    QPointer<QWidget> guard = target;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    if (!guard)
        return;
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(guard, &release);
}

QString keyText(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return QStringLiteral("\r");
    if (key == Qt::Key_Escape)
        return QStringLiteral("\x1b");
    if (key >= 0x20 && key < 0x7f)
        return QString(QChar(key));
    return QString();
}

} // namespace

AutoCashier::AutoCashier(const QString& pictureDir, QWidget* backdrop, QObject* parent)
    : QObject(parent), m_pictureDir(pictureDir), m_backdrop(backdrop) {
    qApp->installEventFilter(this);
}

AutoCashier::~AutoCashier() {
    if (qApp)
        qApp->removeEventFilter(this);
}

void AutoCashier::expect(const QString& dialogName, const QString& picture, Action action) {
    m_expected.append({dialogName, picture, std::move(action)});
}

void AutoCashier::expectMessage(const QString& picture, std::function<void(const QString&)> read,
                                int closeKey) {
    expect(kMessageBox, picture, [read, closeKey](QWidget* dialog) {
        read(messageText(dialog));
        press(closeKey)(dialog);
    });
}

void AutoCashier::snapNextWaitScreen(const QString& picture) {
    m_waitPicture = picture;
}

AutoCashier::Action AutoCashier::type(const QString& text, bool thenEnter) {
    return [text, thenEnter](QWidget* dialog) {
        QPointer<QWidget> target = keyTarget(dialog);
        for (const QChar ch : text) {
            if (!target)
                return;
            // Printable ASCII has key codes of its own (the upper-case letter for a
            // letter); anything else arrives as bare text, as from an input method.
            const int key = ch.unicode() < 0x7f ? ch.toUpper().unicode() : int(Qt::Key_unknown);
            stroke(target, key, QString(ch));
        }
        if (thenEnter && target)
            stroke(target, Qt::Key_Return, keyText(Qt::Key_Return));
    };
}

AutoCashier::Action AutoCashier::press(int key) {
    return [key](QWidget* dialog) { stroke(keyTarget(dialog), key, keyText(key)); };
}

AutoCashier::Action AutoCashier::sequence(const QList<Action>& steps) {
    return [steps](QWidget* dialog) {
        QPointer<QWidget> guard = dialog;
        for (const Action& step : steps) {
            if (!guard || !guard->isVisible())
                return;
            step(guard);
        }
    };
}

AutoCashier::Action AutoCashier::snap(const QString& picture) {
    return [this, picture](QWidget* dialog) { photograph(dialog, picture); };
}

QString AutoCashier::messageText(QWidget* dialog) {
    const QLabel* label = dialog ? dialog->findChild<QLabel*>(QStringLiteral("label_text")) : nullptr;
    return label ? label->text() : QString();
}

// The picture shows the screen as the cashier sees it: the till underneath, then
// every dialog still open below this one, then the dialog itself with its
// translucent backdrop.
QString AutoCashier::photograph(QWidget* window, const QString& picture) {
    if (!window)
        return QString();
    const QSize screen = window->screen() ? window->screen()->size() : window->size();
    QPixmap canvas(screen);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        if (window != m_backdrop) {
            if (m_backdrop && m_backdrop->isVisible())
                painter.drawPixmap(m_backdrop->pos(), m_backdrop->grab());
            for (const QPointer<QWidget>& below : m_open) {
                if (below == window)
                    break;
                if (below && below->isVisible())
                    painter.drawPixmap(below->pos(), below->grab());
            }
        }
        painter.drawPixmap(window->pos(), window->grab());
    }
    const QString file =
        QDir(m_pictureDir)
            .filePath(
                QStringLiteral("%1-%2.png").arg(++m_pictureCount, 2, 10, QLatin1Char('0')).arg(picture));
    if (!canvas.save(file))
        m_problems.append(QStringLiteral("cannot save the picture %1").arg(file));
    m_pictures.append(file);
    emit photographed(file);
    return file;
}

void AutoCashier::endOfCall() {
    for (const Expectation& e : m_expected)
        m_problems.append(QStringLiteral("%1 (%2) never came up").arg(e.dialog, e.picture));
    m_expected.clear();
}

QStringList AutoCashier::takeProblems() {
    QStringList problems = m_problems;
    m_problems.clear();
    return problems;
}

bool AutoCashier::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type kind = event->type();
    if ((kind == QEvent::Show || kind == QEvent::Hide) && watched->isWidgetType() && !event->spontaneous()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget != m_backdrop) {
            if (kind == QEvent::Hide) {
                m_showing.remove(widget);
                m_open.removeAll(widget);
            } else {
                m_open.removeAll(widget);
                m_open.append(widget);
                shown(widget);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

bool AutoCashier::stillShowing(const QPointer<QWidget>& window, quint64 showing) const {
    return window && window->isVisible() && m_showing.value(window) == showing;
}

void AutoCashier::shown(QWidget* window) {
    const QString name = window->objectName();
    QPointer<QWidget> guard = window;
    if (name == kWaitScreen) {
        if (!m_waitPicture.isEmpty()) {
            const QString picture = m_waitPicture;
            m_waitPicture.clear();
            // The exchange behind it runs in a loop of its own; the picture is taken
            // from inside that loop, once the screen is painted.
            QTimer::singleShot(0, this, [this, guard, picture] {
                if (guard && guard->isVisible())
                    photograph(guard, picture);
                else
                    m_waitPicture = picture; // gone already: try the next one
            });
        }
        return;
    }
    const bool dialog = isPluginDialog(name) || qobject_cast<QDialog*>(window);
    if (!dialog)
        return;

    const quint64 showing = ++m_shows;
    m_showing.insert(window, showing);

    if (!m_expected.isEmpty() && m_expected.first().dialog == name) {
        const Expectation next = m_expected.takeFirst();
        QTimer::singleShot(kActDelayMs, this, [this, guard, showing, next] {
            if (!stillShowing(guard, showing)) {
                m_problems.append(QStringLiteral("%1 closed before the cashier acted").arg(next.dialog));
                return;
            }
            photograph(guard, next.picture);
            next.action(guard);
        });
    } else {
        const QString expected = m_expected.isEmpty() ? QStringLiteral("nothing") : m_expected.first().dialog;
        QTimer::singleShot(kActDelayMs, this, [this, guard, showing, name, expected] {
            if (!stillShowing(guard, showing))
                return;
            const QString text = messageText(guard);
            m_problems.append(
                QStringLiteral("unexpected %1%2 (expected %3), backed out")
                    .arg(name, text.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(text), expected));
            photograph(guard, QStringLiteral("unexpected-%1").arg(name));
            backOut(guard, showing);
        });
    }

    QTimer::singleShot(kWatchdogMs, Qt::PreciseTimer, this, [this, guard, showing, name] {
        if (!stillShowing(guard, showing))
            return;
        m_problems.append(
            QStringLiteral("%1 still open after %2 s, backed out").arg(name).arg(kWatchdogMs / 1000));
        backOut(guard, showing);
    });
}

// Leaves the dialog the way a cashier would; should that not work, closes it.
void AutoCashier::backOut(QWidget* dialog, quint64 showing) {
    QPointer<QWidget> guard = dialog;
    if (dialog->objectName() == kMessageBox)
        press(Qt::Key_1)(dialog); // a message box ignores Escape
    else if (auto* asDialog = qobject_cast<QDialog*>(dialog))
        asDialog->reject();
    else
        stroke(dialog, Qt::Key_Escape, keyText(Qt::Key_Escape));

    QTimer::singleShot(kBackOutGraceMs, this, [this, guard, showing] {
        if (!stillShowing(guard, showing))
            return;
        if (auto* asDialog = qobject_cast<QDialog*>(guard.data()))
            asDialog->done(QDialog::Rejected);
        else
            stroke(guard, Qt::Key_Escape, keyText(Qt::Key_Escape));
    });
}
