#pragma once
#include <QByteArray>
#include <QString>
#include <QVarLengthArray>

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
    void add(QLatin1String name, const QString& text);

    const QByteArray& text() const { return m_text; }

private:
    void next(QLatin1String name);
    void open(QLatin1String name, char bracket);
    void close(char bracket);
    void string(const QString& text);

    QByteArray m_text;
    bool m_first = true; // nothing written yet in the object or array now open
#ifndef QT_NO_DEBUG
    QVarLengthArray<QLatin1String, 8> m_lastNames; // per open object, for the order check
#endif
};
