#include "log/Secrets.h"

#include <QRegularExpression>

namespace {

bool startsWithName(const QChar* at, int left, QLatin1String name) {
    if (left < name.size())
        return false;
    for (int i = 0; i < name.size(); ++i) {
        ushort c = at[i].unicode();
        if (c >= 'A' && c <= 'Z')
            c |= 0x20;
        if (c != ushort(name.at(i).unicode()))
            return false;
    }
    return true;
}

// Whether the text may name a secret: "password", "token" or "pwd" (also in
// "entry_pwd", "PWD=") in any case. The expressions below compare the Unicode way, where
// 'k' and 's' have look-alikes (the Kelvin sign, the long s): a text with one of those
// goes to them too.
bool mayNameSecret(const QString& text) {
    const ushort* chars = text.utf16();
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const ushort c = chars[i];
        // Most characters start no name: one comparison for them.
        if (c >= 0x80) {
            if (c == 0x212A || c == 0x017F)
                return true;
            continue;
        }
        const ushort lower = c | 0x20;
        if (lower != 'p' && lower != 't')
            continue;
        const QChar* at = text.constData() + i;
        if (lower == 'p' && (startsWithName(at, size - i, QLatin1String("password")) ||
                             startsWithName(at, size - i, QLatin1String("pwd"))))
            return true;
        if (lower == 't' && startsWithName(at, size - i, QLatin1String("token")))
            return true;
    }
    return false;
}

} // namespace

namespace Secrets {

QString masked(const QString& text) {
    // Most records carry none of the names, and they are the long ones (a sale's lines).
    if (!mayNameSecret(text))
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

} // namespace Secrets
