#include "ui/Overlay.h"

#include <QApplication>
#include <QEventLoop>
#include <QWidget>

namespace Overlay {

void ApplyWindowConvention(QWidget* p_Dialog) {
    p_Dialog->setWindowFlags(Flags);
    p_Dialog->setWindowModality(Qt::ApplicationModal);
    p_Dialog->setWindowOpacity(1.0);
    p_Dialog->setAttribute(Qt::WA_TranslucentBackground);
}

void EndRun(QEventLoop& p_Loop, QWidget* p_Dialog, int p_nCode) {
    if (p_Loop.isRunning())
        p_Loop.exit(p_nCode);
    p_Dialog->close();
}

void TakeKeyboard(QWidget* p_Dialog, QWidget* p_Field) {
    p_Dialog->activateWindow();
    if (QApplication::activeWindow() != p_Dialog)
        QApplication::setActiveWindow(p_Dialog);
    p_Field->setFocus(Qt::OtherFocusReason);
}

} // namespace Overlay
