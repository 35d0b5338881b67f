#include "db/DbType.h"

namespace DbTypes {

std::optional<DbType> parse(const QString& text) {
    const QString upper = text.toUpper();
    if (upper == QLatin1String("SQLITE"))
        return DbType::Sqlite;
    if (upper == QLatin1String("MYSQL"))
        return DbType::MySql;
    if (upper == QLatin1String("SQLSERVER"))
        return DbType::SqlServer;
    if (upper == QLatin1String("ORACLE"))
        return DbType::Oracle;
    if (upper == QLatin1String("ACCESS"))
        return DbType::Access;
    return std::nullopt;
}

QString driverName(DbType type) {
    switch (type) {
    case DbType::Sqlite:
        return QStringLiteral("QSQLITE");
    case DbType::MySql:
        return QStringLiteral("QMYSQL");
    // Access goes through ODBC like SQL Server: on a Windows till the Jet/ACE ODBC
    // driver answers; elsewhere the open fails with the ODBC manager's own text unless
    // someone registered a driver under the Access driver's name.
    case DbType::SqlServer:
    case DbType::Access:
        return QStringLiteral("QODBC");
    case DbType::Oracle:
        return QStringLiteral("QOCI");
    }
    return QString();
}

} // namespace DbTypes
