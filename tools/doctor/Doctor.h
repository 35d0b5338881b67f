#pragma once
#include <QList>
#include <QString>
#include <QStringList>

class ZoVORDACtl;

// The installer's check of a till, run in the till's working directory: the three
// settings files, the CRM, the member database and the log folder, each through the
// plug-in's own code, so that what it reports is what the plug-in will meet. It
// needs the application object (the CRM exchange shows the wait overlay).
//
// It changes nothing on the till unless asked to sign in: the CRM is asked a member
// query with an empty key, which finds nobody, and that exchange is logged into a
// throw-away folder; the log folder is tried and left as it was found; a SQLite
// member file that is missing is reported, not created.
class Doctor {
public:
    enum class Level { Ok, Warn, Fail };

    // With a store number the till also signs in as that store, which writes
    // token, shop_id and SigninTime into ZoVORDA.ini and logs like the plug-in does.
    explicit Doctor(const QString& p_sSigninStore = QString());

    // Every check once, one line each: "OK   what is set", "WARN what → fix",
    // "FAIL what → fix".
    QStringList run();
    // "Summary: 12 OK, 1 WARN, 0 FAIL".
    QString summary() const;
    // 0 when nothing failed, 1 otherwise.
    int exitCode() const;

private:
    void checkSettings();
    void signIn(ZoVORDACtl& p_Ctl);
    // After a sign-in on request, so that it tells the state the till is left in.
    void checkSignedIn();
    void checkCrm(ZoVORDACtl& p_Ctl);
    void checkDatabase();
    void checkLogFolder();

    void add(Level p_Level, const QString& p_sText, const QString& p_sFix = QString());
    int count(Level p_Level) const;

    struct Line {
        Level level;
        QString text;
    };
    QList<Line> m_Lines;
    QString m_sSigninStore;
    // Whether address, company and device are there; without them the exchange
    // ends before anything is sent.
    bool m_bCrmConfigured = false;
};
