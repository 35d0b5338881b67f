#pragma once
#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>
#include <QVector>

class QTextCodec;

// The text of a settings file as the till's installer wrote it, in UTF-8 (with or
// without a byte order mark) or, when its bytes are not UTF-8, in the system's 8-bit
// code page (GBK on a Chinese Windows till).
//
// Reading: "[Section]" lines open a section, "key=value" lines give values, lines
// starting with ';' or '#' are comments. Section and key names match whatever their
// case. A value is the rest of the line without surrounding blanks; a value in double
// quotes keeps its blanks. Backslash sequences (\\ \" \n \r \t \xHHHH) stand for their
// character; any other backslash is kept, so C:\Tools\sync.exe reads as written.
namespace IniText {

using Values = QVector<QPair<QString, QString>>;

// Every value by "section/key" in lower case (a key before any section by its name).
QHash<QString, QString> parsed(const QByteArray& text);

// The text with keys of one section set, changing only their lines and keeping every
// other byte: comments, order, blank lines, the encoding and the line endings. A key's
// line keeps its name and what precedes the value; a key not there yet is added after
// the section's last key, a section not there yet at the end of the text.
QByteArray updated(const QByteArray& text, const QString& section, const Values& values);

// UTF-8 when the bytes are UTF-8, the system's 8-bit code page otherwise.
QTextCodec* codecFor(const QByteArray& text);

} // namespace IniText
