#include "log/Secrets.h"

#include <QRegularExpression>

namespace Secrets {

QString masked(const QString& text) {
    // Most records carry none of the names, and they are the long ones (a sale's lines).
    static const QRegularExpression named(QStringLiteral("password|entry_pwd|token|pwd"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (!text.contains(named))
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
