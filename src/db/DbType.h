#pragma once
#include <QString>

#include <optional>

// The kinds of database config.ini may name in DataBase/DbType. Read once, when the
// connection is made; the text the till configured stays for the messages that name it.
enum class DbType { Sqlite, MySql, SqlServer, Oracle, Access };

namespace DbTypes {
// "SQLITE", "MYSQL", "SQLSERVER", "ORACLE" or "ACCESS", compared after upper-casing;
// anything else is no type we can open.
std::optional<DbType> parse(const QString& text);
// The Qt SQL driver that opens the type.
QString driverName(DbType type);
} // namespace DbTypes
