// The settings file's reader and its line-keeping writer, round trip: the daily sign-in
// writes the token, then the shop id and the sign-in time, into [Config] of whatever
// text the installer (or an editor) left in ZoVORDA.ini.
//
// Input: the new token, shop id and sign-in time (UTF-8, \uXXXX for any UTF-16 unit as
// in the CRM's JSON), each ended by a zero byte, then the file's bytes as they are
// (missing values are empty).
//
// Besides the sanitizers it checks that the written text reads the new values and every
// other value as before, and that every line the writer had no business with comes
// back byte for byte: the writer may change only the lines of those three keys in a
// [Config] section, add them after the section's last key (or a [Config] section at
// the end, after a blank line), and end a last line that had no line break.

#include "Reader.h"

#include "config/IniText.h"

#include <QHash>
#include <QTextCodec>
#include <QVector>

#include <cstring>

using namespace reader;

namespace {

const QByteArray kBom("\xEF\xBB\xBF");
const char* const kKeys[] = {"token", "shop_id", "SigninTime"};

struct Line {
    QByteArray text;      // with a byte order mark, if the file has one
    QByteArray end;       // "\n", "\r\n" or nothing
    bool written = false; // one of the three keys in a [Config] section
};

// The lines as the file format has them: ended by "\n", a "\r" before it belongs to the end.
QVector<Line> linesOf(const QByteArray& bytes) {
    QVector<Line> lines;
    int from = 0;
    while (from < bytes.size()) {
        const int nl = bytes.indexOf('\n', from);
        const int next = nl < 0 ? bytes.size() : nl + 1;
        int stop = nl < 0 ? bytes.size() : nl;
        if (nl >= 0 && stop > from && bytes.at(stop - 1) == '\r')
            --stop;
        lines.append({bytes.mid(from, stop - from), bytes.mid(stop, next - stop)});
        from = next;
    }
    return lines;
}

bool isKey(const QString& name) {
    for (const char* key : kKeys) {
        if (name.compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Marks the lines of the three keys inside [Config] sections, read as the format says:
// "[name]" opens a section, ';' and '#' begin a comment, "name=value" is a key.
// Returns whether the text has a [Config] section at all.
bool markWritten(QVector<Line>& lines, QTextCodec* codec) {
    bool inConfig = false, hasConfig = false;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray bytes = lines.at(i).text;
        if (i == 0 && bytes.startsWith(kBom))
            bytes.remove(0, kBom.size());
        const QString line = codec->toUnicode(bytes);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.contains(QLatin1Char(']'))) {
            const QString name = trimmed.mid(1, trimmed.indexOf(QLatin1Char(']')) - 1).trimmed();
            inConfig = name.compare(QLatin1String("Config"), Qt::CaseInsensitive) == 0;
            hasConfig = hasConfig || inConfig;
            continue;
        }
        if (trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        lines[i].written = inConfig && eq > 0 && isKey(line.left(eq).trimmed());
    }
    return hasConfig;
}

QVector<Line> kept(const QVector<Line>& lines) {
    QVector<Line> out;
    for (const Line& line : lines) {
        if (!line.written)
            out.append(line);
    }
    return out;
}

// What is wrong with the lines of the written text, or nothing.
const char* linesNotKept(const QByteArray& before, const QByteArray& after) {
    if (before.startsWith(kBom) != after.startsWith(kBom))
        return "byte order mark added or lost";
    QTextCodec* codec = IniText::codecFor(before);
    QVector<Line> old = linesOf(before), now = linesOf(after);
    const bool hadConfig = markWritten(old, codec);
    markWritten(now, codec);
    old = kept(old);
    now = kept(now);
    if (!hadConfig) {
        // A section of its own at the end, after a blank line unless the text ends in one.
        if (now.isEmpty() || codec->toUnicode(now.last().text).trimmed() != QLatin1String("[Config]"))
            return "the three keys added without their section";
        now.removeLast();
        if (now.size() == old.size() + 1 && now.last().text.isEmpty())
            now.removeLast();
    }
    if (now.size() != old.size())
        return "lines added or lost beside the three keys";
    for (int i = 0; i < old.size(); ++i) {
        const QByteArray was = old.at(i).text + old.at(i).end, is = now.at(i).text + now.at(i).end;
        // A last line without a line break gets one when lines follow it.
        const bool ended = i == old.size() - 1 && old.at(i).end.isEmpty() && is.startsWith(was) &&
                           (is.mid(was.size()) == "\n" || is.mid(was.size()) == "\r\n");
        if (is != was && !ended)
            return "a line the writer had no business with changed";
    }
    return nullptr;
}

// What is wrong with the values the written text reads, or nothing.
QString valuesNotRead(const QByteArray& before, const QByteArray& after, const IniText::Values& values) {
    QHash<QString, QString> expected = IniText::parsed(before);
    for (const auto& v : values)
        expected.insert(QStringLiteral("config/") + v.first.toLower(), v.second);
    const QHash<QString, QString> read = IniText::parsed(after);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (read.value(it.key()) != it.value() || !read.contains(it.key()))
            return QStringLiteral("%1 reads [%2], not [%3]").arg(it.key(), read.value(it.key()), it.value());
    }
    return read.size() == expected.size() ? QString() : QStringLiteral("keys added");
}

// The two texts for a finding's report, bytes other than plain text as %XX.
QString shown(const QByteArray& before, const QByteArray& after) {
    const QByteArray plain(" =[];#\n\"'/:-_.,");
    return QString::fromLatin1(before.toPercentEncoding(plain) + "\n=>\n" + after.toPercentEncoding(plain));
}

// A value as the CRM's JSON can carry it: UTF-8, where \uXXXX stands for any UTF-16
// unit, half a surrogate pair too.
QString crmText(const QString& text) {
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        bool isHex = false;
        const ushort unit = text.midRef(i + 2, 4).toUShort(&isHex, 16);
        if (text.midRef(i, 2) == QLatin1String("\\u") && isHex && text.midRef(i + 2, 4).size() == 4) {
            out += QChar(unit);
            i += 5;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The code page of a Chinese Windows till, for files that are not UTF-8.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("GBK"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QString> given = CTexts(data, size, 3);
    size_t at = 0;
    for (int i = 0; i < 3 && at < size; ++i)
        at += qstrnlen(reinterpret_cast<const char*>(data) + at, uint(size - at)) + 1;
    const QByteArray before =
        at < size ? QByteArray(reinterpret_cast<const char*>(data) + at, int(size - at)) : QByteArray();

    // As the sign-in writes them: the token first, then the shop id and the time.
    const IniText::Values token{{QStringLiteral("token"), crmText(given.at(0))}};
    const IniText::Values signin{{QStringLiteral("shop_id"), crmText(given.at(1))},
                                 {QStringLiteral("SigninTime"), crmText(given.at(2))}};
    // Each write keeps the lines as the text it is given reads: when the first took
    // away the only bytes that were not UTF-8, the second is given a UTF-8 text
    // (fuzz/crashes/fuzz_settings_file-second-write-reads-utf8).
    const QByteArray middle = IniText::updated(before, QStringLiteral("Config"), token);
    const QByteArray after = IniText::updated(middle, QStringLiteral("Config"), signin);
    if (const char* finding = linesNotKept(before, middle))
        Fail(finding, shown(before, middle));
    if (const char* finding = linesNotKept(middle, after))
        Fail(finding, shown(middle, after));
    // Text that is UTF-8 reads as UTF-8. When the only bytes of a file that were not
    // UTF-8 sat in the values the sign-in replaced, the written file is UTF-8 and reads
    // so, though its other bytes are the same as before: a file whose other text is all
    // ASCII reads the same, one with code-page text that happens to be valid UTF-8 too
    // does not (fuzz/crashes/fuzz_settings_file-code-page-file-reads-as-utf8). That is
    // the reading rule, not the writer; the lines are checked above all the same.
    const int utf8 = QTextCodec::codecForName("UTF-8")->mibEnum();
    if (IniText::codecFor(before)->mibEnum() != utf8 && IniText::codecFor(after)->mibEnum() == utf8)
        return 0;
    const QString wrongValue = valuesNotRead(before, after, token + signin);
    if (!wrongValue.isEmpty())
        Fail("the written text reads other values than the old ones and the three new ones",
             wrongValue + QLatin1Char('\n') + shown(before, after));
    return 0;
}
