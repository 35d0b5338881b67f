#pragma once
#include <QString>

// The till's settings files, opened by bare name in the process's working directory
// and read afresh at every use (a look at the file's size and times tells whether it
// changed), so that an edit takes effect at the next call. See IniFile for how they
// are read and written.
// ZoVORDA.ini is the plug-in's own ([Config]); RVX_Config.ini belongs to the host
// ([NAV]).
namespace Settings {

// The time-out the till promises the cashier, and the range a setting may choose from:
// 0 or less would end every exchange at once or never, and beyond five minutes no
// cashier waits (and the milliseconds would overflow).
constexpr int kDefaultTimeOutSeconds = 20;
constexpr int kLongestTimeOutSeconds = 300;

// What one CRM exchange needs. The time-out is in milliseconds.
struct CrmSettings {
    QString address;
    QString token;
    QString companyId;
    QString deviceId;
    int timeoutMs = kDefaultTimeOutSeconds * 1000;
    // Config/TimeOut as written when it is a whole number outside 1 to 300 seconds, so
    // the default applies; null otherwise.
    QString rejectedTimeOut;
};
CrmSettings crm();

QString deviceId(); // RVX_Config.ini NAV/pointcode
QString shopId();   // the CRM's id of the shop, from the last sign-in
QString signinPassword();
QString signinTime();         // "yyyy-MM-dd hh:mm:ss" of the last sign-in
QString companionProgram();   // Config/ExePath: the program kept running beside the till
QString memberDatabaseName(); // Config/dbname, "pelmun" when not set

// The sign-in's results, written into ZoVORDA.ini's own lines (every other byte of the
// file stays as the installer wrote it). The token is saved first and on its own: the
// CRM has switched to it even when the rest of the reply turns out incomplete. False
// with the reason when the file could not be written.
bool saveToken(const QString& token, QString* error = nullptr);
bool saveSignin(const QString& shopId, const QString& time, QString* error = nullptr);

// Config/ExactAmounts=1: the totals the host reads back and the order totals the CRM
// receives go out with two decimals instead of six significant digits.
bool exactAmounts();

} // namespace Settings
