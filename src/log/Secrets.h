#pragma once
#include <QByteArray>
#include <QString>

// What a log record or a report may show of a text that carries secrets: the member's
// password and the till's sign-in password ("password", "entry_pwd") and the token
// ("token"), as JSON members or as a header line, and a connection string's "PWD=",
// each value replaced by "******"; everything else of the text stays as it is.
namespace Secrets {

inline constexpr char kMask[] = "******";

QString masked(const QString& text);
// The same for a text in UTF-8: a text that names no secret comes back as it is.
QByteArray masked(const QByteArray& utf8);

} // namespace Secrets
