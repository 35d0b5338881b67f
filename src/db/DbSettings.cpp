#include "db/DbSettings.h"

#include <QSettings>

DbSettings DbSettings::fromIniFiles() {
    DbSettings settings;
    const QSettings db(QStringLiteral("config.ini"), QSettings::IniFormat);
    settings.type = db.value(QStringLiteral("DataBase/DbType"), QString()).toString();
    settings.server = db.value(QStringLiteral("DataBase/ServiceName"), QString()).toString();
    settings.user = db.value(QStringLiteral("DataBase/UserName"), QString()).toString();
    settings.password = db.value(QStringLiteral("DataBase/Password"), QString()).toString();
    settings.port = db.value(QStringLiteral("DataBase/Port"), 0).toInt();
    const QSettings own(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    settings.name = own.value(QStringLiteral("Config/dbname"), QStringLiteral("pelmun")).toString();
    return settings;
}
