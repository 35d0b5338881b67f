#include "crm/JsonWriter.h"

#include <cstring>

namespace {

char hexDigit(uint value) {
    return "0123456789abcdef"[value & 0xf];
}

char* unicodeEscape(char* out, ushort u) {
    *out++ = '\\';
    *out++ = 'u';
    for (int shift = 12; shift >= 0; shift -= 4)
        *out++ = hexDigit(u >> shift);
    return out;
}

// An ASCII character JSON does not take as it is: by its short name where it has one.
char* escaped(char* out, ushort u) {
    static const char shortNames[] = "\"\"\\\\\bb\ff\nn\rr\tt";
    for (const char* s = shortNames; *s; s += 2) {
        if (uchar(*s) == u) {
            *out++ = '\\';
            *out++ = s[1];
            return out;
        }
    }
    return unicodeEscape(out, u);
}

// The text in quotes, escaped as QJsonDocument escapes: the quote, the backslash and
// control characters (by their short names where JSON has one), everything else as
// UTF-8, and a surrogate without its partner as \uXXXX. Written through a pointer into
// room for the longest outcome (six bytes a character and the quotes); returns the end.
// Char: UTF-16 units, or Latin-1 bytes.
template <typename Char> char* quoted(char* out, const Char* at, const Char* const end) {
    *out++ = '"';
    while (at != end) {
        const ushort u = *at++;
        if (u >= 0x20 && u < 0x80 && u != '"' && u != '\\') {
            *out++ = char(u);
        } else if (u < 0x80) {
            out = escaped(out, u);
        } else if (u < 0x800) {
            *out++ = char(0xc0 | (u >> 6));
            *out++ = char(0x80 | (u & 0x3f));
        } else if (!QChar::isSurrogate(u)) {
            *out++ = char(0xe0 | (u >> 12));
            *out++ = char(0x80 | ((u >> 6) & 0x3f));
            *out++ = char(0x80 | (u & 0x3f));
        } else if (QChar::isHighSurrogate(u) && at != end && QChar::isLowSurrogate(*at)) {
            const uint c = QChar::surrogateToUcs4(u, ushort(*at++));
            *out++ = char(0xf0 | (c >> 18));
            *out++ = char(0x80 | ((c >> 12) & 0x3f));
            *out++ = char(0x80 | ((c >> 6) & 0x3f));
            *out++ = char(0x80 | (c & 0x3f));
        } else {
            out = unicodeEscape(out, u);
        }
    }
    *out++ = '"';
    return out;
}

} // namespace

JsonWriter::JsonWriter(int expectedSize) {
    m_text.resize(qMax(expectedSize, 64));
    m_out = m_text.data();
    m_end = m_out + m_text.size();
}

QByteArray JsonWriter::text() {
    const int used = int(m_out - m_text.constData());
    m_text.resize(used);
    m_out = m_end = m_text.data() + used;
    return m_text;
}

char* JsonWriter::grow(int n) {
    const int used = int(m_out - m_text.constData());
    m_text.resize(qMax(2 * m_text.size(), used + n));
    m_out = m_text.data() + used;
    m_end = m_text.data() + m_text.size();
    return m_out;
}

#ifndef QT_NO_DEBUG
void JsonWriter::checkOrder(QLatin1String name) {
    Q_ASSERT_X(m_lastNames.isEmpty() || m_lastNames.last().isNull() || m_lastNames.last() < name,
               "JsonWriter", "members must come in ascending order of their names");
    if (!m_lastNames.isEmpty())
        m_lastNames.last() = name;
}
#endif

void JsonWriter::open(QLatin1String name, char bracket) {
    next(name);
    char* out = room(1);
    *out++ = bracket;
    wrote(out);
    m_first = true;
#ifndef QT_NO_DEBUG
    m_lastNames.append(QLatin1String());
#endif
}

void JsonWriter::close(char bracket) {
    char* out = room(1);
    *out++ = bracket;
    wrote(out);
    m_first = false;
#ifndef QT_NO_DEBUG
    m_lastNames.removeLast();
#endif
}

void JsonWriter::beginObject(QLatin1String name) {
    open(name, '{');
}

void JsonWriter::endObject() {
    close('}');
}

void JsonWriter::beginArray(QLatin1String name) {
    open(name, '[');
}

void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::string(const QString& text) {
    const ushort* at = text.utf16();
    wrote(quoted(room(6 * text.size() + 2), at, at + text.size()));
}

void JsonWriter::string(QLatin1String text) {
    const uchar* at = reinterpret_cast<const uchar*>(text.data());
    wrote(quoted(room(6 * text.size() + 2), at, at + text.size()));
}
