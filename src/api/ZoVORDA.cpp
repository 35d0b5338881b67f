#include "api/ZoVORDA.h"

#include "api/ResultFrame.h"
#include "core/Controller.h"
#include "log/PayLogger.h"
#include "ui/DialogCashier.h"

#include <QApplication>
#include <QThread>

#include <cstring>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// The controller owns widgets, so it must be built after the host's QApplication
// and gone before it: it is created at the first call, and destroyed either when
// the application object goes (a post routine) or, if the host unloads the library
// first, when the library's statics go.
Controller* g_controller = nullptr;
bool g_inCall = false;

void destroyController() {
    delete g_controller;
    g_controller = nullptr;
}

struct LibraryUnload {
    ~LibraryUnload() {
        if (g_controller) {
            qRemovePostRoutine(destroyController);
            destroyController();
        }
    }
} g_unload;

// Once used, the library stays in memory until the process ends, whatever the host
// does with its handle: Qt's SQL and network modules, which the host may not use
// itself and which would go with us, leave clean-up routines with the host's
// application object, and those must still be there when it is destroyed.
void pinLibrary() {
#ifdef Q_OS_WIN
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&pinLibrary), &self);
#else
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&pinLibrary), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

Controller& controller() {
    if (!g_controller) {
        pinLibrary();
        g_controller = new Controller(std::make_unique<DialogCashier>());
        qAddPostRoutine(destroyController);
    }
    return *g_controller;
}

void copyOut(const QByteArray& result, char* out) {
    if (out)
        std::memcpy(out, result.constData(), static_cast<size_t>(result.size()) + 1);
}

// The calls a host must not make, refused before anything else happens: the dialogs
// need the host's QApplication and its thread (before it a widget aborts the host,
// from another thread the call never ends), and a call without a buffer for the answer
// must not settle an order or pay a tender the host never hears of. A null text when
// the call may go on.
QString misuse(const char* out) {
    const QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<const QApplication*>(app))
        return QCoreApplication::translate("ZoVORDA", "插件须在主程序创建QApplication之后调用");
    if (QThread::currentThread() != app->thread())
        return QCoreApplication::translate("ZoVORDA", "插件须在主程序界面线程中调用");
    if (!out)
        return QCoreApplication::translate("ZoVORDA", "插件调用未提供返回结果缓冲区");
    return QString();
}

// A refused call may come before the controller exists, or from a thread that must not
// touch it: it logs into LOG under the current directory on its own.
PayLogger refusalLog() {
    return PayLogger(QStringLiteral("ZoVORDA动态库"));
}

QString refusalStep() {
    return QCoreApplication::translate("ZoVORDA", "调用被拒绝");
}

// A host that calls again while a dialog of the running call is open (a timer
// firing, a second button) gets a refusal; the running call goes on untouched.
struct CallGuard {
    CallGuard() { g_inCall = true; }
    ~CallGuard() { g_inCall = false; }
};

} // namespace

extern "C" {

ZOVORDA_API void ZOVORDA_CALL ZoVipTrans(const char* TranVipIn, char* out) {
    const QString misused = misuse(out);
    if (!misused.isNull()) {
        copyOut(ResultFrame::refusedMemberCall(refusalLog(), refusalStep(), misused), out);
        return;
    }
    Controller& ctl = controller();
    if (g_inCall) {
        copyOut(ResultFrame::busyMemberCall(ctl.log()), out);
        return;
    }
    CallGuard guard;
    copyOut(ResultFrame::memberCall(ctl, TranVipIn), out);
}

ZOVORDA_API void ZOVORDA_CALL ZoCardTrans(const char* TranHead, const char* TranPlu, const char* UdpIn1,
                                          void* reserved, char* out) {
    Q_UNUSED(reserved)
    const QString misused = misuse(out);
    if (!misused.isNull()) {
        copyOut(ResultFrame::refusedTenderCall(refusalLog(), refusalStep(), misused), out);
        return;
    }
    Controller& ctl = controller();
    if (g_inCall) {
        copyOut(ResultFrame::busyTenderCall(ctl.log()), out);
        return;
    }
    CallGuard guard;
    copyOut(ResultFrame::tenderCall(ctl, TranHead, TranPlu, UdpIn1), out);
}

} // extern "C"
