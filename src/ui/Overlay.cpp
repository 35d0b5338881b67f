#include "ui/Overlay.h"

#include <QApplication>
#include <QEventLoop>
#include <QWidget>

namespace Overlay {

void applyWindowConvention(QWidget* dialog) {
    dialog->setWindowFlags(Flags);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_TranslucentBackground);
}

void endRun(QEventLoop& loop, QWidget* dialog, int code) {
    if (loop.isRunning())
        loop.exit(code);
    dialog->close();
}

void takeKeyboard(QWidget* dialog, QWidget* field) {
    dialog->activateWindow();
    // The window system may activate it later, or refuse a tool window of a process
    // that is not in front: the keys must reach the dialog now (a no-op when it is
    // active already).
    QApplication::setActiveWindow(dialog);
    field->setFocus(Qt::OtherFocusReason);
}

} // namespace Overlay
