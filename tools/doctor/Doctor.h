#pragma once
#include "Findings.h"

#include <QString>
#include <QStringList>

class CrmClient;

// The installer's check of a till, run in the till's working directory: the three
// settings files, the CRM, the member database and the log folder, each through the
// plug-in's own parts, so that what it reports is what the plug-in will meet. It
// needs the application object (the CRM exchange shows the busy screen).
//
// It changes nothing on the till unless asked to sign in: the CRM is asked a member
// query with an empty key, which finds nobody, and that exchange is logged into a
// throw-away folder; the log folder is tried and left as it was found; a SQLite
// member file that is missing is reported, not created.
class Doctor {
public:
    // With a store number the till also signs in as that store, which writes
    // token, shop_id and SigninTime into ZoVORDA.ini and logs like the plug-in does.
    explicit Doctor(const QString& signinStore = QString());

    // Less free space than this on the disk of the log folder is reported: the daily log
    // then soon loses records without a word.
    static constexpr qint64 kDefaultMinimumFreeMb = 100;
    void setMinimumFreeMb(qint64 megabytes) { m_minimumFreeMb = megabytes; }

    // Every check once, one line each: "OK   what is set", "WARN what → fix",
    // "FAIL what → fix".
    QStringList run();
    // "Summary: 12 OK, 1 WARN, 0 FAIL".
    QString summary() const;
    // 0 when nothing failed, 1 otherwise.
    int exitCode() const;

private:
    void signIn();
    void checkCrm(bool configured);
    void checkLogFolder();
    void checkFreeSpace();

    Findings m_findings;
    QString m_signinStore;
    qint64 m_minimumFreeMb = kDefaultMinimumFreeMb;
};
