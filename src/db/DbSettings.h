#pragma once
#include <QString>

// Where the till's member database is: config.ini's [DataBase] group (the host's
// settings) and the database name from ZoVORDA.ini, both in the working directory.
struct DbSettings {
    QString type;     // DataBase/DbType as configured
    QString server;   // DataBase/ServiceName: host, server, or for Access a link file
    QString user;     // DataBase/UserName
    QString password; // DataBase/Password
    int port = 0;     // DataBase/Port, 0 when missing or no number
    QString name;     // Config/dbname, "pelmun" when missing

    static DbSettings fromIniFiles();
};
