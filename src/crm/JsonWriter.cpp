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

} // namespace

JsonWriter::JsonWriter(int expectedSize) {
    m_text.reserve(expectedSize);
}

void JsonWriter::next(QLatin1String name) {
    if (!m_first)
        m_text += ',';
    m_first = false;
    if (name.isNull())
        return;
#ifndef QT_NO_DEBUG
    Q_ASSERT_X(m_lastNames.isEmpty() || m_lastNames.last().isNull() || m_lastNames.last() < name,
               "JsonWriter", "members must come in ascending order of their names");
    if (!m_lastNames.isEmpty())
        m_lastNames.last() = name;
#endif
    const int at = m_text.size();
    m_text.resize(at + name.size() + 3);
    char* out = m_text.data() + at;
    *out++ = '"';
    memcpy(out, name.data(), size_t(name.size()));
    out += name.size();
    *out++ = '"';
    *out = ':';
}

void JsonWriter::open(QLatin1String name, char bracket) {
    next(name);
    m_text += bracket;
    m_first = true;
#ifndef QT_NO_DEBUG
    m_lastNames.append(QLatin1String());
#endif
}

void JsonWriter::close(char bracket) {
    m_text += bracket;
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

void JsonWriter::add(QLatin1String name, const QString& text) {
    next(name);
    string(text);
}

// Escaped as QJsonDocument escapes: the quote, the backslash and control characters
// (by their short names where JSON has one), everything else as UTF-8, and a surrogate
// without its partner as \uXXXX. Written through a pointer into room for the longest
// outcome (six bytes a character), then cut to what was written.
void JsonWriter::string(const QString& text) {
    const int start = m_text.size();
    m_text.resize(start + 6 * text.size() + 2);
    char* out = m_text.data() + start;
    *out++ = '"';
    const ushort* at = text.utf16();
    const ushort* const end = at + text.size();
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
            const uint c = QChar::surrogateToUcs4(u, *at++);
            *out++ = char(0xf0 | (c >> 18));
            *out++ = char(0x80 | ((c >> 12) & 0x3f));
            *out++ = char(0x80 | ((c >> 6) & 0x3f));
            *out++ = char(0x80 | (c & 0x3f));
        } else {
            out = unicodeEscape(out, u);
        }
    }
    *out++ = '"';
    m_text.resize(int(out - m_text.constData()));
}
