#include "db/DbSettings.h"

#include "config/IniFile.h"

DbSettings DbSettings::fromIniFiles() {
    DbSettings settings;
    const IniFile db(QStringLiteral("config.ini"));
    settings.type = db.value(QStringLiteral("DataBase/DbType"));
    settings.server = db.value(QStringLiteral("DataBase/ServiceName"));
    settings.user = db.value(QStringLiteral("DataBase/UserName"));
    settings.password = db.value(QStringLiteral("DataBase/Password"));
    settings.port = db.value(QStringLiteral("DataBase/Port")).toInt();
    settings.name = IniFile(QStringLiteral("ZoVORDA.ini"))
                        .value(QStringLiteral("Config/dbname"), QStringLiteral("pelmun"));
    return settings;
}
