#include "SettingsCheck.h"

#include "Findings.h"
#include "config/IniFile.h"
#include "config/Settings.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString kOwnIni = QStringLiteral("ZoVORDA.ini");
const QString kHostIni = QStringLiteral("RVX_Config.ini");

// Null when the file does not set the key.
QString ownValue(const QString& key) {
    const IniFile own(kOwnIni);
    return own.contains(key) ? own.value(key) : QString();
}

void checkFilesExist(Findings& f) {
    for (const QString& file : {kOwnIni, kHostIni}) {
        if (!QFileInfo::exists(file))
            f.fail(QStringLiteral("%1 is not in %2").arg(file, QDir::currentPath()),
                   QStringLiteral("run zovorda-doctor in the folder the till program runs in, or create the "
                                  "file there"));
    }
}

void checkAddress(Findings& f, const QString& address) {
    if (address.isEmpty()) {
        f.fail(QStringLiteral("ZoVORDA.ini [Config] HttpAddress is not set"),
               QStringLiteral("set the CRM's address, e.g. http://crm.example.com:8080"));
        return;
    }
    const QUrl url(address + QStringLiteral("/txCtrl"), QUrl::TolerantMode);
    const bool web = url.isValid() && !url.host().isEmpty() &&
                     (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    if (web)
        f.ok(QStringLiteral("ZoVORDA.ini [Config] HttpAddress = ") + SettingsCheck::shownAddress(address));
    else
        f.fail(QStringLiteral("ZoVORDA.ini [Config] HttpAddress = %1 is not an http:// or https:// address")
                   .arg(SettingsCheck::shownAddress(address)),
               QStringLiteral("write it whole, e.g. http://crm.example.com:8080"));
}

void checkTimeOut(Findings& f) {
    const QString timeout = ownValue(QStringLiteral("Config/TimeOut"));
    const QString fix = QStringLiteral("set the seconds the till waits for the CRM, e.g. TimeOut=20");
    const Settings::CrmSettings crm = Settings::crm();
    bool whole = false;
    timeout.toLongLong(&whole);
    if (timeout.isNull())
        f.ok(QStringLiteral("ZoVORDA.ini [Config] TimeOut is not set: 20 s"));
    else if (!whole)
        f.warn(QStringLiteral("ZoVORDA.ini [Config] TimeOut = %1 is not a whole number: 20 s apply")
                   .arg(timeout),
               fix);
    else if (!crm.rejectedTimeOut.isNull())
        // 0 or less would end every exchange at once or never; a large one overflows.
        f.warn(QStringLiteral("ZoVORDA.ini [Config] TimeOut = %1 is outside 1 to %2 seconds: 20 s apply")
                   .arg(crm.rejectedTimeOut)
                   .arg(Settings::kLongestTimeOutSeconds),
               fix);
    else
        f.ok(QStringLiteral("ZoVORDA.ini [Config] TimeOut = %1 s").arg(crm.timeoutMs / 1000));
}

void checkCompanion(Findings& f) {
    const QString exePath = Settings::companionProgram();
    if (exePath.isEmpty())
        f.ok(QStringLiteral("ZoVORDA.ini [Config] ExePath is not set (no companion program)"));
    else if (exePath.contains(QLatin1Char('\\')))
        // The plug-in takes the program's name after the last "/"; with back-slashes the
        // whole path is the name, which no running process has.
        f.warn(QStringLiteral("ZoVORDA.ini [Config] ExePath = %1 is written with back-slashes: the plug-in "
                              "starts the program again at every member lookup")
                   .arg(exePath),
               QStringLiteral("write the path with '/', e.g. C:/Till/Companion.exe"));
    else if (!QFileInfo(exePath).isFile())
        f.warn(QStringLiteral("ZoVORDA.ini [Config] ExePath = %1 does not exist").arg(exePath),
               QStringLiteral("correct the path of the companion program, or remove ExePath"));
    else
        f.ok(QStringLiteral("ZoVORDA.ini [Config] ExePath = ") + exePath);
}

} // namespace

namespace SettingsCheck {

QString masked(const QString& secret) {
    const QString length = QStringLiteral("%1 characters").arg(secret.size());
    if (secret.size() < 8)
        return QStringLiteral("set (%1)").arg(length);
    return QStringLiteral("%1…%2 (%3)").arg(secret.left(2), secret.right(2), length);
}

QString shownAddress(const QString& address) {
    const QUrl url(address, QUrl::TolerantMode);
    if (url.password().isEmpty())
        return address;
    return url.toDisplayString(QUrl::RemovePassword);
}

bool check(Findings& f) {
    checkFilesExist(f);
    const Settings::CrmSettings crm = Settings::crm();
    checkAddress(f, crm.address);
    if (crm.companyId.isEmpty())
        f.fail(QStringLiteral("ZoVORDA.ini [Config] company_id is not set"),
               QStringLiteral("set the company id the CRM gave you"));
    else
        f.ok(QStringLiteral("ZoVORDA.ini [Config] company_id = ") + crm.companyId);
    if (crm.deviceId.isEmpty())
        f.fail(QStringLiteral("RVX_Config.ini [NAV] pointcode is not set"),
               QStringLiteral("set the till's device code as registered in the CRM"));
    else
        f.ok(QStringLiteral("RVX_Config.ini [NAV] pointcode = ") + crm.deviceId);
    checkTimeOut(f);
    if (Settings::signinPassword().isEmpty())
        f.fail(QStringLiteral("ZoVORDA.ini [Config] password is not set"),
               QStringLiteral("set the sign-in password the CRM gave the store; without it the till cannot "
                              "sign in"));
    else
        f.ok(QStringLiteral("ZoVORDA.ini [Config] password is set"));
    checkCompanion(f);
    return !crm.address.isEmpty() && !crm.companyId.isEmpty() && !crm.deviceId.isEmpty();
}

void checkSignedIn(Findings& f) {
    const QString token = Settings::crm().token;
    const QString shopId = Settings::shopId();
    const QString signinTime = Settings::signinTime();
    QStringList unset;
    if (token.isEmpty())
        unset.append(QStringLiteral("token"));
    if (shopId.isEmpty())
        unset.append(QStringLiteral("shop_id"));
    if (signinTime.isEmpty())
        unset.append(QStringLiteral("SigninTime"));
    if (!unset.isEmpty()) {
        f.warn(QStringLiteral("ZoVORDA.ini [Config] not signed in yet: %1 not set")
                   .arg(unset.join(QStringLiteral(", "))),
               QStringLiteral("the till signs in at its first member lookup; to try it now: zovorda-doctor "
                              "--signin STORE"));
        return;
    }
    const bool today = signinTime.left(10) == QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    f.ok(QStringLiteral("ZoVORDA.ini [Config] signed in: token %1, shop_id %2, SigninTime %3 (%4)")
             .arg(masked(token), shopId, signinTime,
                  today ? QStringLiteral("today")
                        : QStringLiteral("not today: the first member lookup signs in again")));
}

} // namespace SettingsCheck
