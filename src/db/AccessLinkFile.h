#pragma once
#include <QString>

// An OLE DB data link file (.udl) that names the Access database a till uses:
// "Provider=…;Data Source=<file>;…".
class AccessLinkFile {
public:
    // The data source of the link file, trimmed: the value after the second "=" up to
    // the next ";". False when the file cannot be read.
    static bool readDataSource(const QString& path, QString& dataSource);
};
