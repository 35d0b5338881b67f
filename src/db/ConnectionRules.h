#pragma once
#include "db/DbType.h"

class QSqlDatabase;
class QString;
struct DbSettings;

// How each kind of database is reached from the till's settings: host, user, port
// and the connection string the driver gets.
class ConnectionRules {
public:
    // Sets the connection up for opening. False, with nothing set that could open,
    // when the settings cannot lead anywhere: a MySQL database without a name, or an
    // Access link file that cannot be read.
    static bool apply(QSqlDatabase& db, DbType type, const DbSettings& settings);

    // A file name without any of the separators is a file beside the host program;
    // anything else is used as it is.
    static QString besideHost(const QString& file, const QString& separators);
};
