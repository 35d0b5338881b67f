#pragma once
// What the dialog suites share: running one dialog with the cashier acting inside its
// own loop, and reading back what the cashier sees on it. Brings in Qt Test and Qt Widgets.

#include "CashierRobot.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace Dialogs {

// Runs `call`, which blocks in the loop of the dialog named `name`, and does `steps` from
// inside that loop once the dialog is the active window. A dialog that a failed step left
// open is backed out of at once, one nobody closes after the robot's watchdog; so a broken
// key handler fails the test instead of hanging it. Returns what `call` returned.
inline int runAsCashier(const QString& name, const std::function<int()>& call,
                        const std::function<void()>& steps) {
    CashierRobot robot;
    robot.when(name, [steps](QWidget* dialog) {
        QVERIFY2(QTest::qWaitForWindowActive(dialog), "the dialog never became the active window");
        steps();
    });
    const int result = call();
    if (!robot.allDone())
        QTest::qFail(qPrintable(robot.failures()), __FILE__, __LINE__);
    return result;
}

// Empty when `window` is a parentless, frameless, application-modal overlay called `name`,
// otherwise what is off.
inline QString conventionBreaks(const QWidget* window, const QString& name) {
    const Qt::WindowFlags flags = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
    QStringList off;
    const auto expect = [&off](bool kept, const QString& what) {
        if (!kept)
            off << what;
    };
    expect(window->objectName() == name, "named " + window->objectName());
    expect(!window->parentWidget(), "has a parent");
    expect((window->windowFlags() & flags) == flags, "window flags");
    expect(window->windowModality() == Qt::ApplicationModal, "not application modal");
    expect(window->testAttribute(Qt::WA_TranslucentBackground), "opaque background");
    expect(window->windowOpacity() == 1.0, "window opacity");
    return off.join(", ");
}

// Key names as QKeySequence spells them, separated by blanks: "Down Down Return". The
// target is a widget, or a window for keys that come from the window system.
template <typename Target> void keys(Target* target, const QString& names) {
    for (const QString& name : names.split(' ', Qt::SkipEmptyParts)) {
        const QKeySequence key = QKeySequence::fromString(name);
        QVERIFY2(key.count() == 1, qPrintable("no such key: " + name));
        QTest::keyClick(target, Qt::Key(key[0]));
    }
}

// Types `text` into `field`, which must hold the keyboard focus.
inline void typeInto(QWidget* field, const QString& text) {
    QCOMPARE(QApplication::focusWidget(), field);
    QTest::keyClicks(field, text);
}

// The texts of labels, buttons or line edits under `root`, joined by '|'.
inline QString texts(const QWidget* root, const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        const QWidget* widget = root->findChild<QWidget*>(name);
        out << (widget ? widget->property("text").toString() : "<no " + name + ">");
    }
    return out.join('|');
}

// Those of `names` whose widgets are visible, joined by '|'.
inline QString visible(const QWidget* root, const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        const QWidget* widget = root->findChild<QWidget*>(name);
        if (!widget || widget->isVisible())
            out << (widget ? name : "<no " + name + ">");
    }
    return out.join('|');
}

// One string per row, the cells joined by '|'.
inline QStringList rows(const QAbstractItemModel* model, int role = Qt::DisplayRole) {
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data(role).toString();
        out << cells.join('|');
    }
    return out;
}

inline QString headers(const QAbstractItemModel* model) {
    QStringList out;
    for (int column = 0; column < model->columnCount(); ++column)
        out << model->headerData(column, Qt::Horizontal).toString();
    return out.join('|');
}

inline QList<int> columnWidths(const QTableView* table) {
    QList<int> out;
    for (int column = 0; column < table->model()->columnCount(); ++column)
        out << table->columnWidth(column);
    return out;
}

inline QRect rectIn(const QWidget* dialog, const QString& child) {
    const QWidget* widget = dialog->findChild<QWidget*>(child);
    return widget ? QRect(widget->mapTo(dialog, QPoint()), widget->size()) : QRect();
}

// The till's colours, so that the pictures look like the till.
inline void useTillStyle() {
    qApp->setStyleSheet(
        "#widgetblackground{background:rgba(0,0,0,120)}"
        "#widgetback,#widgetpopback,#horizontalWidget,#MessageWidget #widget{background:white}"
        "#MemberManage #widgetback,#VipSelection #widgetback,#widget_top{background:#2d6cb5}"
        "#lblModeName{color:white} QLineEdit{border:1px solid #888}"
        "#widget_2 QPushButton,#widget_btns QPushButton,#btnVipSignin"
        "{background:#2d6cb5;color:white;border:none}");
}

// Keeps a picture as <name>.png in $ZOVORDA_PNG_DIR, when that is set.
inline void savePicture(const QImage& shot, const QString& name) {
    const QString dir = qEnvironmentVariable("ZOVORDA_PNG_DIR");
    if (!dir.isEmpty())
        shot.save(dir + '/' + name + ".png");
}

} // namespace Dialogs
