#pragma once
#include <Qt>

class QEventLoop;
class QWidget;

// What every full-screen dialog of the plug-in shares.
namespace Overlay {

// Top-level, frameless, above the host's screen, not managed by a window manager.
constexpr Qt::WindowFlags Flags = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;

// The window convention: the flags, application-modal, fully opaque with a
// translucent background (the host's style sheet paints the backdrop).
void applyWindowConvention(QWidget* dialog);

// Ends a dialog's own run with code and closes it. A loop that is not running
// would forget the exit and block the next run, so only a running one is told.
void endRun(QEventLoop& loop, QWidget* dialog, int code);

// Gives the keyboard to field. Without a window manager, or after a window above
// (the wait screen, a message) went away, the activation may never be reported
// back and the cashier could not type: so the dialog claims the keyboard itself.
void takeKeyboard(QWidget* dialog, QWidget* field);

} // namespace Overlay
