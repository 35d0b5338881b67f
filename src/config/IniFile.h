#pragma once
#include "config/IniText.h"

#include <QHash>
#include <QString>

// A settings file in the till's working directory (see IniText for how it reads).
class IniFile {
public:
    // The file's values as its size and times last showed them: the file is read again
    // only when one of those changed since the last look, from any thread.
    explicit IniFile(const QString& path);

    bool contains(const QString& sectionAndKey) const;
    // "Section/key"; fallback when the key is not in the file.
    QString value(const QString& sectionAndKey, const QString& fallback = QString()) const;

    // Sets keys of one section (IniText::updated). The new text replaces the old file in
    // one rename, so a crash never leaves half a file. False with the reason when the
    // file could not be written.
    static bool write(const QString& path, const QString& section, const IniText::Values& values,
                      QString* error = nullptr);

private:
    QHash<QString, QString> m_values; // "section/key" in lower case
};
