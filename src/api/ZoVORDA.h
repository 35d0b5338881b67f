#pragma once
// The two functions a POS host calls. Texts are NUL-terminated UTF-8; the result is
// one JSON object written into the host's buffer with a terminating zero. The
// buffer must hold ResultFrame::MaxResultBytes (64 KiB) bytes.
#include <QtGlobal>

// Q_DECL_EXPORT is the DLL export attribute on Windows and default visibility elsewhere.
#ifdef Q_OS_WIN
#define ZOVORDA_CALL __cdecl
#ifdef ZOVORDA_BUILDING_PLUGIN
#define ZOVORDA_API Q_DECL_EXPORT
#else
#define ZOVORDA_API Q_DECL_IMPORT
#endif
#else
#define ZOVORDA_CALL
#define ZOVORDA_API Q_DECL_EXPORT
#endif

extern "C" {
ZOVORDA_API void ZOVORDA_CALL ZoVipTrans(const char* TranVipIn, char* out);
ZOVORDA_API void ZOVORDA_CALL ZoCardTrans(const char* TranHead, const char* TranPlu, const char* UdpIn1,
                                          void* reserved, char* out);
}
