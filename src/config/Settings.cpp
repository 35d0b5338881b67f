#include "config/Settings.h"

#include <QSettings>

namespace {

QString pluginValue(const QString& key, const QString& fallback = QString()) {
    const QSettings config(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    return config.value(key, fallback).toString();
}

// The sign-in reads and writes its values as UTF-8.
void writeUtf8(const QString& key, const QString& value) {
    QSettings config(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    config.setIniCodec("UTF-8");
    config.setValue(key, value);
    config.sync();
}

} // namespace

namespace Settings {

CrmSettings crm() {
    const QSettings config(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    CrmSettings s;
    s.address = config.value(QStringLiteral("Config/HttpAddress")).toString();
    s.token = config.value(QStringLiteral("Config/token")).toString();
    s.companyId = config.value(QStringLiteral("Config/company_id")).toString();
    s.deviceId = deviceId();
    // A text that is no whole number gives the default without a word, as it always did.
    bool ok = false;
    const QString timeOut = config.value(QStringLiteral("Config/TimeOut"), QStringLiteral("20")).toString();
    const qint64 seconds = timeOut.toLongLong(&ok);
    if (ok && seconds >= 1 && seconds <= kLongestTimeOutSeconds)
        s.timeoutMs = int(seconds) * 1000;
    else if (ok)
        s.rejectedTimeOut = timeOut;
    return s;
}

QString deviceId() {
    const QSettings host(QStringLiteral("RVX_Config.ini"), QSettings::IniFormat);
    return host.value(QStringLiteral("NAV/pointcode")).toString();
}

QString shopId() {
    return pluginValue(QStringLiteral("Config/shop_id"));
}

QString signinPassword() {
    QSettings config(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    config.setIniCodec("UTF-8");
    return config.value(QStringLiteral("Config/password")).toString();
}

QString signinTime() {
    return pluginValue(QStringLiteral("Config/SigninTime"));
}

QString companionProgram() {
    return pluginValue(QStringLiteral("Config/ExePath"));
}

QString memberDatabaseName() {
    return pluginValue(QStringLiteral("Config/dbname"), QStringLiteral("pelmun"));
}

void saveToken(const QString& token) {
    writeUtf8(QStringLiteral("Config/token"), token);
}

void saveSignin(const QString& shopId, const QString& time) {
    writeUtf8(QStringLiteral("Config/shop_id"), shopId);
    writeUtf8(QStringLiteral("Config/SigninTime"), time);
}

bool exactAmounts() {
    return pluginValue(QStringLiteral("Config/ExactAmounts")).trimmed() == QLatin1String("1");
}

} // namespace Settings
