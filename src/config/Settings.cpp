#include "config/Settings.h"

#include "config/IniFile.h"

namespace {

const QString kPluginFile = QStringLiteral("ZoVORDA.ini");

QString pluginValue(const QString& key, const QString& fallback = QString()) {
    return IniFile(kPluginFile).value(key, fallback);
}

} // namespace

namespace Settings {

CrmSettings crm() {
    const IniFile config(kPluginFile);
    CrmSettings s;
    s.address = config.value(QStringLiteral("Config/HttpAddress"));
    s.token = config.value(QStringLiteral("Config/token"));
    s.companyId = config.value(QStringLiteral("Config/company_id"));
    s.deviceId = deviceId();
    // A text that is no whole number gives the default without a word, as it always did.
    bool ok = false;
    const QString timeOut = config.value(QStringLiteral("Config/TimeOut"), QStringLiteral("20"));
    const qint64 seconds = timeOut.toLongLong(&ok);
    if (ok && seconds >= 1 && seconds <= kLongestTimeOutSeconds)
        s.timeoutMs = int(seconds) * 1000;
    else if (ok)
        s.rejectedTimeOut = timeOut;
    return s;
}

QString deviceId() {
    return IniFile(QStringLiteral("RVX_Config.ini")).value(QStringLiteral("NAV/pointcode"));
}

QString shopId() {
    return pluginValue(QStringLiteral("Config/shop_id"));
}

QString signinPassword() {
    return pluginValue(QStringLiteral("Config/password"));
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

bool saveToken(const QString& token, QString* error) {
    return IniFile::write(kPluginFile, QStringLiteral("Config"), {{QStringLiteral("token"), token}}, error);
}

bool saveSignin(const QString& shopId, const QString& time, QString* error) {
    return IniFile::write(kPluginFile, QStringLiteral("Config"),
                          {{QStringLiteral("shop_id"), shopId}, {QStringLiteral("SigninTime"), time}}, error);
}

bool exactAmounts() {
    return pluginValue(QStringLiteral("Config/ExactAmounts")).trimmed() == QLatin1String("1");
}

} // namespace Settings
