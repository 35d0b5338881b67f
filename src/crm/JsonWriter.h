#pragma once
#include <QByteArray>
#include <QString>
#include <QVarLengthArray>

#include <cstring>

// Compact JSON text written straight into UTF-8 bytes, for request bodies too large to
// build as QJsonObjects first (a sale's product lines). The text is byte for byte what
// QJsonDocument's compact form gives for the same members, provided each object's
// members come in ascending order of their names, as a QJsonObject keeps them (checked
// in debug builds). Values are texts, objects and arrays.
class JsonWriter {
public:
    explicit JsonWriter(int expectedSize = 0);

    // An object or an array as the whole text or as an element of an array (no name),
    // or as a member's value.
    void beginObject(QLatin1String name = QLatin1String());
    void endObject();
    void beginArray(QLatin1String name = QLatin1String());
    void endArray();
    // Inline, so that the names' lengths are known where they are copied.
    void add(QLatin1String name, const QString& text) {
        next(name);
        string(text);
    }
    // A text that is Latin-1 already (an amount's digits).
    void add(QLatin1String name, QLatin1String text) {
        next(name);
        string(text);
    }

    // The text so far.
    QByteArray text();

private:
    // Room for n more bytes; the returned pointer is where they go, and wrote() is
    // told where they ended.
    char* room(int n) { return m_end - m_out >= n ? m_out : grow(n); }
    void wrote(char* end) { m_out = end; }
    char* grow(int n);
    void next(QLatin1String name) {
        char* out = room(name.size() + 4);
        if (!m_first)
            *out++ = ',';
        m_first = false;
        if (!name.isNull()) {
            checkOrder(name);
            *out++ = '"';
            memcpy(out, name.data(), size_t(name.size()));
            out += name.size();
            *out++ = '"';
            *out++ = ':';
        }
        wrote(out);
    }
#ifndef QT_NO_DEBUG
    void checkOrder(QLatin1String name);
#else
    void checkOrder(QLatin1String) {}
#endif
    void open(QLatin1String name, char bracket);
    void close(char bracket);
    void string(const QString& text);
    void string(QLatin1String text);

    // The buffer grows ahead of the text: written up to m_out, room up to m_end.
    QByteArray m_text;
    char* m_out = nullptr;
    char* m_end = nullptr;
    bool m_first = true; // nothing written yet in the object or array now open
#ifndef QT_NO_DEBUG
    QVarLengthArray<QLatin1String, 8> m_lastNames; // per open object, for the order check
#endif
};
