#include "config/IniText.h"

#include <QTextCodec>
#include <QVector>

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

// One line of the file: its bytes without the line break, and the break itself.
struct Line {
    QByteArray text;
    QByteArray end;
};

QVector<Line> linesOf(const QByteArray& bytes) {
    QVector<Line> lines;
    int from = 0;
    while (from < bytes.size()) {
        int nl = bytes.indexOf('\n', from);
        const int next = nl < 0 ? bytes.size() : nl + 1;
        int stop = nl < 0 ? bytes.size() : nl;
        if (stop > from && bytes.at(stop - 1) == '\r')
            --stop;
        lines.append({bytes.mid(from, stop - from), bytes.mid(stop, next - stop)});
        from = next;
    }
    if (!lines.isEmpty() && lines.first().text.startsWith(kBom))
        lines.first().text.remove(0, kBom.size()); // put back by the writer
    return lines;
}

// What a line is: a section header (its name), a key line (its key and where the value
// starts), or neither.
struct LineShape {
    bool section = false;
    QString name; // the section's or the key's
    int valueAt = -1;
};

LineShape shapeOf(const QString& line) {
    LineShape shape;
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(QLatin1Char('[')) && trimmed.contains(QLatin1Char(']'))) {
        shape.section = true;
        shape.name = trimmed.mid(1, trimmed.indexOf(QLatin1Char(']')) - 1).trimmed();
        return shape;
    }
    if (trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#')))
        return shape;
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0 || line.leftRef(eq).trimmed().isEmpty())
        return shape;
    shape.name = line.left(eq).trimmed();
    shape.valueAt = eq + 1;
    return shape;
}

// The value of a hexadecimal digit in either case, -1 for any other character.
int hexDigit(QChar c) {
    return QStringLiteral("0123456789abcdef").indexOf(c.toLower());
}

// The characters a backslash and a letter stand for, both ways.
const char kEscapes[][2] = {{'\\', '\\'}, {'"', '"'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'}};

// The other half of c's pair, looked up on side 0 (the letter) or 1 (the character); 0 if none.
char escapePartner(ushort c, int side) {
    for (const auto& e : kEscapes) {
        if (c == ushort(e[side]))
            return e[1 - side];
    }
    return 0;
}

QString unescaped(const QString& raw) {
    const QString s = raw.trimmed();
    const bool quoted = s.startsWith(QLatin1Char('"'));
    QString out = QStringLiteral(""); // set, even when empty
    for (int i = quoted ? 1 : 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (quoted && c == QLatin1Char('"'))
            break;
        if (c != QLatin1Char('\\') || i + 1 == s.size()) {
            out += c;
            continue;
        }
        const QChar n = s.at(++i);
        const char plain = escapePartner(n.unicode(), 0);
        if (plain) {
            out += QLatin1Char(plain);
            continue;
        }
        if (n == QLatin1Char('x')) {
            int code = 0, digits = 0;
            while (digits < 4 && i + 1 < s.size() && hexDigit(s.at(i + 1)) >= 0) {
                code = code * 16 + hexDigit(s.at(++i));
                ++digits;
            }
            if (digits > 0)
                out += QChar(ushort(code));
            else
                out += QLatin1String("\\x");
        } else {
            out += QLatin1Char('\\');
            out += n;
        }
    }
    return out;
}

// The value as the reader above gives it back, in the file's encoding.
QByteArray escaped(const QString& value, QTextCodec* codec) {
    QString text;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const char letter = escapePartner(c.unicode(), 1);
        if (letter) {
            text += QLatin1Char('\\');
            text += QLatin1Char(letter);
            continue;
        }
        // A character beyond the 16-bit range is a pair of units that the code page takes
        // or refuses together (GBK has no emoji); half a pair it never takes.
        const bool pair = c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate();
        const QString character = value.mid(i, pair ? 2 : 1);
        i += pair ? 1 : 0;
        if (c.unicode() >= 0x20 && (pair || !c.isSurrogate()) && codec->canEncode(character)) {
            text += character;
            continue;
        }
        for (const QChar unit : character)
            text += QStringLiteral("\\x%1").arg(unit.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (text != text.trimmed())
        text = QLatin1Char('"') + text + QLatin1Char('"');
    return codec->fromUnicode(text);
}

QByteArray defaultLineEnd(const QVector<Line>& lines) {
    for (const Line& line : lines) {
        if (line.end.endsWith('\n'))
            return line.end;
    }
#ifdef Q_OS_WIN
    return QByteArrayLiteral("\r\n");
#else
    return QByteArrayLiteral("\n");
#endif
}

// A last line gets a line break when lines follow it. The reader breaks lines at line
// feeds only: a carriage return alone at the end of the file gets its line feed.
void breakLine(Line& line, const QByteArray& eol) {
    if (!line.end.endsWith('\n'))
        line.end = line.end.isEmpty() ? eol : line.end + '\n';
}

} // namespace

namespace IniText {

QTextCodec* codecFor(const QByteArray& text) {
    QTextCodec* utf8 = QTextCodec::codecForMib(106);
    if (text.startsWith(kBom))
        return utf8;
    QTextCodec::ConverterState state;
    utf8->toUnicode(text.constData(), text.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return utf8;
    // On a system whose own code page is UTF-8 the bytes come from a Chinese till.
    QTextCodec* system = QTextCodec::codecForLocale();
    return system->mibEnum() == 106 ? QTextCodec::codecForName("GB18030") : system;
}

QHash<QString, QString> parsed(const QByteArray& text) {
    QTextCodec* codec = codecFor(text);
    QHash<QString, QString> values;
    QString prefix;
    for (const Line& line : linesOf(text)) {
        const QString decoded = codec->toUnicode(line.text);
        const LineShape shape = shapeOf(decoded);
        if (shape.section)
            prefix = shape.name.isEmpty() ? QString() : shape.name.toLower() + QLatin1Char('/');
        else if (shape.valueAt > 0)
            values.insert(prefix + shape.name.toLower(), unescaped(decoded.mid(shape.valueAt)));
    }
    return values;
}

QByteArray updated(const QByteArray& text, const QString& section, const Values& values) {
    QTextCodec* codec = codecFor(text);
    QVector<Line> lines = linesOf(text);
    const QByteArray eol = defaultLineEnd(lines);
    QVector<bool> found(values.size(), false);
    bool inSection = false;
    int sectionEnd = -1; // the line after which keys not found yet go
    for (int i = 0; i < lines.size(); ++i) {
        const LineShape shape = shapeOf(codec->toUnicode(lines.at(i).text));
        if (shape.section) {
            inSection = shape.name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection)
                sectionEnd = i;
            continue;
        }
        if (!inSection || shape.valueAt < 0)
            continue;
        sectionEnd = i;
        for (int k = 0; k < values.size(); ++k) {
            if (shape.name.compare(values.at(k).first, Qt::CaseInsensitive) != 0)
                continue;
            // Keep the name, the '=' and the blanks after it; the value is all that changes.
            QByteArray& bytes = lines[i].text;
            int at = bytes.indexOf('=') + 1;
            while (at < bytes.size() && (bytes.at(at) == ' ' || bytes.at(at) == '\t'))
                ++at;
            bytes = bytes.left(at) + escaped(values.at(k).second, codec);
            found[k] = true;
        }
    }
    QVector<Line> added;
    for (int k = 0; k < values.size(); ++k) {
        if (!found.at(k))
            added.append({codec->fromUnicode(values.at(k).first + QLatin1Char('=')) +
                              escaped(values.at(k).second, codec),
                          eol});
    }
    if (!added.isEmpty()) {
        if (sectionEnd < 0) {
            // A section of its own at the end, after a blank line.
            if (!lines.isEmpty())
                breakLine(lines.last(), eol);
            if (!lines.isEmpty() && !codec->toUnicode(lines.last().text).trimmed().isEmpty())
                lines.append({QByteArray(), eol});
            lines.append({codec->fromUnicode(QLatin1Char('[') + section + QLatin1Char(']')), eol});
            sectionEnd = lines.size() - 1;
        } else {
            breakLine(lines[sectionEnd], eol);
        }
        for (int k = 0; k < added.size(); ++k)
            lines.insert(sectionEnd + 1 + k, added.at(k));
    }
    QByteArray out = text.startsWith(kBom) ? kBom : QByteArray();
    for (const Line& line : qAsConst(lines))
        out += line.text + line.end;
    return out;
}

} // namespace IniText
