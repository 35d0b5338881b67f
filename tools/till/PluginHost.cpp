#include "PluginHost.h"

#include <cstring>

#ifdef Q_OS_WIN
#include <QDir>

#include <windows.h>
#endif

bool PluginHost::load(const QString& path, QString& error) {
#ifdef Q_OS_WIN
    const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
    HMODULE module = LoadLibraryW(nativePath.c_str());
    const QString why = QStringLiteral("Windows error %1").arg(GetLastError());
    if (module) {
        m_vip = reinterpret_cast<VipTransFn>(reinterpret_cast<void*>(GetProcAddress(module, "ZoVipTrans")));
        m_card =
            reinterpret_cast<CardTransFn>(reinterpret_cast<void*>(GetProcAddress(module, "ZoCardTrans")));
    }
#else
    m_library.setFileName(path);
    m_vip = reinterpret_cast<VipTransFn>(m_library.resolve("ZoVipTrans"));
    m_card = reinterpret_cast<CardTransFn>(m_library.resolve("ZoCardTrans"));
    const QString why = m_library.errorString();
#endif
    if (!m_vip || !m_card) {
        error = QStringLiteral("cannot load the member plug-in %1: %2").arg(path, why);
        return false;
    }
    m_buffer.assign(kResultBufferBytes, '\0');
    return true;
}

QByteArray PluginHost::vipTrans(const QByteArray& tranVipIn) {
    m_vip(tranVipIn.constData(), freshBuffer());
    return takeResult();
}

QByteArray PluginHost::cardTrans(const QByteArray& tranHead, const QByteArray& tranPlu,
                                 const QByteArray& udpIn1) {
    m_card(tranHead.constData(), tranPlu.constData(), udpIn1.constData(), nullptr, freshBuffer());
    return takeResult();
}

// A cleared buffer tells a call that wrote nothing apart from one with an empty result.
char* PluginHost::freshBuffer() {
    std::memset(m_buffer.data(), 0, m_buffer.size());
    return m_buffer.data();
}

QByteArray PluginHost::takeResult() const {
    const void* end = std::memchr(m_buffer.data(), 0, m_buffer.size());
    const size_t length =
        end ? static_cast<size_t>(static_cast<const char*>(end) - m_buffer.data()) : m_buffer.size();
    return QByteArray(m_buffer.data(), static_cast<int>(length));
}
