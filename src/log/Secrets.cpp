#include "log/Secrets.h"

#include <QRegularExpression>
#include <QStringView>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

template <typename Char> ushort lowerAscii(Char c) {
    const ushort u = ushort(c);
    return u >= 'A' && u <= 'Z' ? ushort(u | 0x20) : u;
}

// Whether the ASCII letters of word (lower case) stand in text from from on, in
// any case; positions outside the text do not match.
template <typename Char>
bool lettersAt(const Char* text, qsizetype size, qsizetype from, QLatin1String word) {
    if (from < 0 || from + word.size() > size)
        return false;
    for (int i = 0; i < word.size(); ++i) {
        if (lowerAscii(text[from + i]) != ushort(uchar(word.at(i).toLatin1())))
            return false;
    }
    return true;
}

// The Kelvin sign, which the expressions below take for a 'k' (in UTF-8: E2 84 AA).
constexpr ushort kelvinMark(const ushort*) {
    return 0x212A;
}
constexpr ushort kelvinMark(const uchar*) {
    return 0xE2;
}
bool kelvinAt(const ushort* text, qsizetype, qsizetype at) {
    return text[at] == 0x212A;
}
bool kelvinAt(const uchar* text, qsizetype size, qsizetype at) {
    return text[at] == 0xE2 && at + 2 < size && text[at + 1] == 0x84 && text[at + 2] == 0xAA;
}

// Where the next c stands at or after from; size when there is none. Both searches
// run many characters a step.
qsizetype nextOf(const uchar* text, qsizetype size, qsizetype from, ushort c) {
    const void* at = memchr(text + from, c, size_t(size - from));
    return at ? static_cast<const uchar*>(at) - text : size;
}
qsizetype nextOf(const ushort* text, qsizetype size, qsizetype from, ushort c) {
    const qsizetype at = QStringView(text, size).indexOf(QChar(c), from);
    return at < 0 ? size : at;
}

// Whether the 'w', 'k' or Kelvin sign at text[at] belongs to a secret's name.
template <typename Char> bool namesSecretAt(const Char* text, qsizetype size, qsizetype at) {
    const ushort c = lowerAscii(text[at]);
    if (c == 'w')
        return lettersAt(text, size, at - 1, QLatin1String("pwd")) ||
               lettersAt(text, size, at + 1, QLatin1String("ord"));
    if (c == 'k')
        return lettersAt(text, size, at - 2, QLatin1String("token"));
    return kelvinAt(text, size, at);
}

// Whether the text may name a secret: "password", "token" or "pwd" (also in
// "entry_pwd", "PWD=") in any case. Every name has a 'w' or a 'k', which most texts
// (a sale's lines) seldom hold, so only those are looked at closely. The expressions
// compare the Unicode way, where the Kelvin sign is a 'k' and the long s an 's': a text
// with a Kelvin sign goes to them, and "password" is known by the letters after its
// 'w', which have no look-alikes.
template <typename Char> bool mayNameSecret(const Char* text, qsizetype size) {
    const ushort marks[] = {'w', 'W', 'k', 'K', kelvinMark(text)};
    qsizetype next[std::size(marks)];
    for (size_t m = 0; m < std::size(marks); ++m)
        next[m] = nextOf(text, size, 0, marks[m]);
    for (;;) {
        const size_t m = size_t(std::min_element(std::begin(next), std::end(next)) - std::begin(next));
        const qsizetype at = next[m];
        if (at == size)
            return false;
        if (namesSecretAt(text, size, at))
            return true;
        next[m] = nextOf(text, size, at + 1, marks[m]);
    }
}

} // namespace

namespace Secrets {

QString masked(const QString& text) {
    // Most records carry none of the names, and they are the long ones (a sale's lines).
    if (!mayNameSecret(text.utf16(), text.size()))
        return text;
    // A JSON member: the name, its colon, then a text or a number (an empty text hides nothing).
    static const QRegularExpression member(
        QStringLiteral(
            R"re(("(?:password|entry_pwd|token)"\s*:\s*)(?:"(?:[^"\\]|\\.)+"|-?[0-9][0-9.eE+-]*))re"),
        QRegularExpression::CaseInsensitiveOption);
    // A header line ("Token: …") and a connection string's password ("PWD=…;").
    static const QRegularExpression header(
        QStringLiteral(R"re((^|[\r\n])((?:password|entry_pwd|token)[ \t]*:[ \t]*)[^\r\n]+)re"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression pwd(QStringLiteral(R"(\b(PWD=)[^;]+)"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QString mask = QLatin1String(kMask);
    QString out = text;
    out.replace(member, QStringLiteral("\\1\"") + mask + QStringLiteral("\""));
    out.replace(header, QStringLiteral("\\1\\2") + mask);
    out.replace(pwd, QStringLiteral("\\1") + mask);
    return out;
}

QByteArray masked(const QByteArray& utf8) {
    if (!mayNameSecret(reinterpret_cast<const uchar*>(utf8.constData()), utf8.size()))
        return utf8;
    return masked(QString::fromUtf8(utf8)).toUtf8();
}

} // namespace Secrets
