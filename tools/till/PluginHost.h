#pragma once

// The member plug-in as the till sees it: a shared library with two C functions,
// loaded at run time. The till never includes the plug-in's headers, so the two
// signatures are written down here once more, as any POS vendor would.

#include <QByteArray>
#include <QString>
#ifndef Q_OS_WIN
#include <QLibrary>
#endif

#include <vector>

#ifdef Q_OS_WIN
#define TILL_CDECL __cdecl
#else
#define TILL_CDECL
#endif

class PluginHost {
public:
    // The plug-in is told no size; both sides agree on 64 KiB for the longest result.
    static constexpr int kResultBufferBytes = 64 * 1024;

    bool load(const QString& path, QString& error);

    // Each returns the result text as the plug-in wrote it (without the zero byte).
    QByteArray vipTrans(const QByteArray& tranVipIn);
    QByteArray cardTrans(const QByteArray& tranHead, const QByteArray& tranPlu, const QByteArray& udpIn1);

private:
    using VipTransFn = void(TILL_CDECL*)(const char*, char*);
    using CardTransFn = void(TILL_CDECL*)(const char*, const char*, const char*, void*, char*);

    char* freshBuffer();
    QByteArray takeResult() const;

    // On Windows loaded as a Windows POS host loads it, with LoadLibraryW and
    // GetProcAddress, and kept for the till's life; elsewhere through QLibrary.
#ifndef Q_OS_WIN
    QLibrary m_library;
#endif
    VipTransFn m_vip = nullptr;
    CardTransFn m_card = nullptr;
    std::vector<char> m_buffer;
};
