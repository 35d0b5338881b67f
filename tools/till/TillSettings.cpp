#include "TillSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {
const QString kPluginFile = QStringLiteral("ZoVORDA.ini");
const QString kTillFile = QStringLiteral("RVX_Config.ini");
const QString kDatabaseFile = QStringLiteral("config.ini");
} // namespace

void TillSettings::write(const QString& crmUrl, const QString& membersDb, int timeOutSeconds, bool fresh,
                         const QString& companion) {
    if (fresh) {
        QFile::remove(kPluginFile);
        QFile::remove(kTillFile);
        QFile::remove(kDatabaseFile);
    }
    {
        QSettings plugin(kPluginFile, QSettings::IniFormat);
        plugin.setIniCodec("UTF-8");
        plugin.setValue(QStringLiteral("Config/HttpAddress"), crmUrl);
        plugin.setValue(QStringLiteral("Config/company_id"), kCompanyId);
        plugin.setValue(QStringLiteral("Config/password"), kSigninPassword);
        plugin.setValue(QStringLiteral("Config/TimeOut"), QString::number(timeOutSeconds));
        // A bare file name would be looked for next to the till's program file.
        plugin.setValue(QStringLiteral("Config/dbname"), QFileInfo(membersDb).absoluteFilePath());
        if (!companion.isEmpty())
            plugin.setValue(QStringLiteral("Config/ExePath"), companion);
    }
    {
        QSettings till(kTillFile, QSettings::IniFormat);
        till.setValue(QStringLiteral("NAV/pointcode"), kPointCode);
    }
    {
        QSettings database(kDatabaseFile, QSettings::IniFormat);
        database.setValue(QStringLiteral("DataBase/DbType"), QStringLiteral("SQLITE"));
    }
}

void TillSettings::setCrmAddress(const QString& crmUrl) {
    QSettings plugin(kPluginFile, QSettings::IniFormat);
    plugin.setIniCodec("UTF-8");
    plugin.setValue(QStringLiteral("Config/HttpAddress"), crmUrl);
}
