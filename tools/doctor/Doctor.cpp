#include "Doctor.h"

#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"
#include "db/PosDB.h"
#include "log/PayLogger.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>

namespace {

const QString kOwnIni = QStringLiteral("ZoVORDA.ini");
const QString kHostIni = QStringLiteral("RVX_Config.ini");
const QString kDbIni = QStringLiteral("config.ini");
const QStringList kKnownTypes{QStringLiteral("SQLITE"), QStringLiteral("MYSQL"), QStringLiteral("SQLSERVER"),
                              QStringLiteral("ORACLE"), QStringLiteral("ACCESS")};
const QString kTypes = QStringLiteral("SQLITE, MYSQL, SQLSERVER, ORACLE or ACCESS");
const QString kSignInNow = QStringLiteral("the till signs in at its first member lookup; to try it now: "
                                          "zovorda-doctor --signin STORE");

// What the offline lookup reads, and the four columns it searches by.
const QStringList kMemberColumns{
    QStringLiteral("member_id"),  QStringLiteral("cardno"),      QStringLiteral("grade_level"),
    QStringLiteral("grade_name"), QStringLiteral("member_name"), QStringLiteral("birthday"),
    QStringLiteral("mobile"),     QStringLiteral("address"),     QStringLiteral("status")};
const QStringList kLookupColumns{QStringLiteral("mobile"), QStringLiteral("member_id"),
                                 QStringLiteral("cardno"), QStringLiteral("member_name")};

// A secret shows no more than its two ends and its length: enough to tell whether
// two tills hold the same token, too little to use it.
QString masked(const QString& p_sSecret) {
    const QString length = QStringLiteral("%1 characters").arg(p_sSecret.size());
    if (p_sSecret.size() < 8)
        return QStringLiteral("set (%1)").arg(length);
    return QStringLiteral("%1…%2 (%3)").arg(p_sSecret.left(2), p_sSecret.right(2), length);
}

// An address may carry a user and password for a proxy in front of the CRM.
QString shownAddress(const QString& p_sAddress) {
    const QUrl url(p_sAddress, QUrl::TolerantMode);
    if (url.password().isEmpty())
        return p_sAddress;
    return url.toDisplayString(QUrl::RemovePassword);
}

// ODBC connection strings for Access carry the password.
QString withoutPassword(QString p_sText) {
    static const QRegularExpression pwd(QStringLiteral("PWD=[^;]*"),
                                        QRegularExpression::CaseInsensitiveOption);
    return p_sText.replace(pwd, QStringLiteral("PWD=***"));
}

// The database as the plug-in's connection was set up to reach it.
QString describe(const QSqlDatabase& p_Conn, const QString& p_sType) {
    if (!p_Conn.isValid())
        return p_sType;
    if (p_sType == QLatin1String("SQLITE"))
        return QStringLiteral("SQLITE file ") + p_Conn.databaseName();
    QString text = p_sType + QLatin1Char(' ') + withoutPassword(p_Conn.databaseName());
    if (!p_Conn.hostName().isEmpty())
        text += QStringLiteral(" on ") + p_Conn.hostName();
    if (p_Conn.port() > 0)
        text += QLatin1Char(':') + QString::number(p_Conn.port());
    if (!p_Conn.userName().isEmpty())
        text += QStringLiteral(" as ") + p_Conn.userName();
    return text;
}

QString createTableFix(const QString& p_sType) {
    if (p_sType == QLatin1String("SQLITE"))
        return QStringLiteral(
            "create it with db/t_member.sqlite.sql and load the members with db/load_members.py");
    if (p_sType == QLatin1String("MYSQL"))
        return QStringLiteral(
            "create it with db/t_member.mariadb.sql and load the members with db/load_members.py");
    return QStringLiteral("create it with the text columns ") + kMemberColumns.join(QStringLiteral(", "));
}

QString openFix(const QString& p_sType, const QString& p_sError) {
    if (!kKnownTypes.contains(p_sType))
        return QStringLiteral("set config.ini [DataBase] DbType to ") + kTypes;
    if (p_sError.contains(QLatin1String("Driver not loaded")))
        return QStringLiteral("install Qt's SQL driver for %1 (on Windows its DLL in sqldrivers/ beside the "
                              "till program, with the database's client library)")
            .arg(p_sType);
    if (p_sType == QLatin1String("SQLITE"))
        return QStringLiteral("check that the file is a SQLite database the till's user may read and write");
    if (p_sType == QLatin1String("MYSQL"))
        return QStringLiteral("check that the server runs, config.ini [DataBase] ServiceName, UserName, "
                              "Password and ZoVORDA.ini [Config] dbname (MySQL is reached on its standard "
                              "port; Port is not read)");
    return QStringLiteral("check that the server runs, config.ini [DataBase] ServiceName, UserName, "
                          "Password, Port and ZoVORDA.ini [Config] dbname");
}

// The leading column of every index on t_member: an index serves a lookup by the
// column it starts with. Empty with p_bKnown false where we cannot tell.
QStringList indexedColumns(PosDB& p_DB, const QString& p_sType, bool& p_bKnown) {
    QStringList leading;
    QString error;
    QSqlQuery query;
    p_bKnown = false;
    if (p_sType == QLatin1String("SQLITE")) {
        if (!p_DB.openRecordset(QStringLiteral("PRAGMA index_list(t_member)"), query, error))
            return leading;
        QStringList names;
        while (query.next())
            names.append(query.value(QStringLiteral("name")).toString());
        for (QString name : names) {
            name.replace(QLatin1Char('\''), QStringLiteral("''"));
            QSqlQuery info;
            if (!p_DB.openRecordset(QStringLiteral("PRAGMA index_info('%1')").arg(name), info, error))
                return leading;
            while (info.next()) {
                if (info.value(QStringLiteral("seqno")).toInt() == 0)
                    leading.append(info.value(QStringLiteral("name")).toString());
            }
        }
    } else if (p_sType == QLatin1String("MYSQL")) {
        if (!p_DB.openRecordset(QStringLiteral("SHOW INDEX FROM t_member"), query, error))
            return leading;
        while (query.next()) {
            if (query.value(QStringLiteral("Seq_in_index")).toInt() == 1)
                leading.append(query.value(QStringLiteral("Column_name")).toString());
        }
    } else {
        return leading;
    }
    p_bKnown = true;
    return leading;
}

} // namespace

Doctor::Doctor(const QString& p_sSigninStore) : m_sSigninStore(p_sSigninStore) {}

QStringList Doctor::run() {
    m_Lines.clear();
    checkSettings();
    {
        ZoVORDACtl ctl;
        if (!m_sSigninStore.isEmpty())
            signIn(ctl);
        checkSignedIn();
        checkCrm(ctl);
    }
    checkDatabase();
    checkLogFolder();

    QStringList lines;
    for (const Line& line : m_Lines) {
        const char* label = line.level == Level::Ok ? "OK   " : line.level == Level::Warn ? "WARN " : "FAIL ";
        lines.append(QLatin1String(label) + line.text);
    }
    return lines;
}

QString Doctor::summary() const {
    return QStringLiteral("Summary: %1 OK, %2 WARN, %3 FAIL")
        .arg(count(Level::Ok))
        .arg(count(Level::Warn))
        .arg(count(Level::Fail));
}

int Doctor::exitCode() const {
    return count(Level::Fail) > 0 ? 1 : 0;
}

void Doctor::add(Level p_Level, const QString& p_sText, const QString& p_sFix) {
    m_Lines.append({p_Level, p_sFix.isEmpty() ? p_sText : p_sText + QStringLiteral(" → ") + p_sFix});
}

int Doctor::count(Level p_Level) const {
    int n = 0;
    for (const Line& line : m_Lines)
        n += line.level == p_Level ? 1 : 0;
    return n;
}

void Doctor::checkSettings() {
    for (const QString& file : {kOwnIni, kHostIni}) {
        if (!QFileInfo::exists(file))
            add(Level::Fail, QStringLiteral("%1 is not in %2").arg(file, QDir::currentPath()),
                QStringLiteral(
                    "run zovorda-doctor in the folder the till program runs in, or create the file "
                    "there"));
    }
    // Read as the plug-in reads them: the exchange without a codec, the sign-in's
    // password as UTF-8.
    const QSettings own(kOwnIni, QSettings::IniFormat);
    const QSettings host(kHostIni, QSettings::IniFormat);
    const QString address = own.value(QStringLiteral("Config/HttpAddress")).toString();
    const QString company = own.value(QStringLiteral("Config/company_id")).toString();
    const QString device = host.value(QStringLiteral("NAV/pointcode")).toString();
    m_bCrmConfigured = !address.isEmpty() && !company.isEmpty() && !device.isEmpty();

    if (address.isEmpty()) {
        add(Level::Fail, QStringLiteral("ZoVORDA.ini [Config] HttpAddress is not set"),
            QStringLiteral("set the CRM's address, e.g. http://crm.example.com:8080"));
    } else {
        const QUrl url(address + QStringLiteral("/txCtrl"), QUrl::TolerantMode);
        const bool web = url.isValid() && !url.host().isEmpty() &&
                         (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
        if (web)
            add(Level::Ok, QStringLiteral("ZoVORDA.ini [Config] HttpAddress = ") + shownAddress(address));
        else
            add(Level::Fail,
                QStringLiteral("ZoVORDA.ini [Config] HttpAddress = %1 is not an http:// or https:// address")
                    .arg(shownAddress(address)),
                QStringLiteral("write it whole, e.g. http://crm.example.com:8080"));
    }

    if (company.isEmpty())
        add(Level::Fail, QStringLiteral("ZoVORDA.ini [Config] company_id is not set"),
            QStringLiteral("set the company id the CRM gave you"));
    else
        add(Level::Ok, QStringLiteral("ZoVORDA.ini [Config] company_id = ") + company);

    if (device.isEmpty())
        add(Level::Fail, QStringLiteral("RVX_Config.ini [NAV] pointcode is not set"),
            QStringLiteral("set the till's device code as registered in the CRM"));
    else
        add(Level::Ok, QStringLiteral("RVX_Config.ini [NAV] pointcode = ") + device);

    const QVariant timeout = own.value(QStringLiteral("Config/TimeOut"));
    bool whole = false;
    const int seconds = timeout.toString().toInt(&whole);
    if (!timeout.isValid())
        add(Level::Ok, QStringLiteral("ZoVORDA.ini [Config] TimeOut is not set: 20 s"));
    else if (!whole)
        add(Level::Warn,
            QStringLiteral("ZoVORDA.ini [Config] TimeOut = %1 is not a whole number: 20 s apply")
                .arg(timeout.toString()),
            QStringLiteral("set the seconds the till waits for the CRM, e.g. TimeOut=20"));
    else if (seconds < 1)
        // 0 ends every exchange at once; below 0 the wait has no end at all.
        add(Level::Fail,
            QStringLiteral("ZoVORDA.ini [Config] TimeOut = %1 is not a number of seconds above 0")
                .arg(seconds),
            QStringLiteral("set the seconds the till waits for the CRM, e.g. TimeOut=20"));
    else
        add(Level::Ok, QStringLiteral("ZoVORDA.ini [Config] TimeOut = %1 s").arg(seconds));

    QSettings signin(kOwnIni, QSettings::IniFormat);
    signin.setIniCodec("UTF-8");
    if (signin.value(QStringLiteral("Config/password")).toString().isEmpty())
        add(Level::Fail, QStringLiteral("ZoVORDA.ini [Config] password is not set"),
            QStringLiteral(
                "set the sign-in password the CRM gave the store; without it the till cannot sign in"));
    else
        add(Level::Ok, QStringLiteral("ZoVORDA.ini [Config] password is set"));

    const QString exePath = own.value(QStringLiteral("Config/ExePath")).toString();
    if (exePath.isEmpty())
        add(Level::Ok, QStringLiteral("ZoVORDA.ini [Config] ExePath is not set (no companion program)"));
    else if (exePath.contains(QLatin1Char('\\')))
        // The plug-in takes the program's name after the last "/"; with back-slashes the
        // whole path is the name, which no running process has.
        add(Level::Warn,
            QStringLiteral("ZoVORDA.ini [Config] ExePath = %1 is written with back-slashes: the plug-in "
                           "starts the program again at every member lookup")
                .arg(exePath),
            QStringLiteral("write the path with '/', e.g. C:/Till/Companion.exe"));
    else if (!QFileInfo(exePath).isFile())
        add(Level::Warn, QStringLiteral("ZoVORDA.ini [Config] ExePath = %1 does not exist").arg(exePath),
            QStringLiteral("correct the path of the companion program, or remove ExePath"));
    else
        add(Level::Ok, QStringLiteral("ZoVORDA.ini [Config] ExePath = ") + exePath);
}

void Doctor::checkSignedIn() {
    const QSettings own(kOwnIni, QSettings::IniFormat);
    const QString token = own.value(QStringLiteral("Config/token")).toString();
    const QString shopId = own.value(QStringLiteral("Config/shop_id")).toString();
    const QString signinTime = own.value(QStringLiteral("Config/SigninTime")).toString();
    QStringList unset;
    if (token.isEmpty())
        unset.append(QStringLiteral("token"));
    if (shopId.isEmpty())
        unset.append(QStringLiteral("shop_id"));
    if (signinTime.isEmpty())
        unset.append(QStringLiteral("SigninTime"));
    if (!unset.isEmpty()) {
        add(Level::Warn,
            QStringLiteral("ZoVORDA.ini [Config] not signed in yet: %1 not set")
                .arg(unset.join(QStringLiteral(", "))),
            kSignInNow);
    } else {
        const bool today = signinTime.left(10) == QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        add(Level::Ok,
            QStringLiteral("ZoVORDA.ini [Config] signed in: token %1, shop_id %2, SigninTime %3 (%4)")
                .arg(masked(token), shopId, signinTime,
                     today ? QStringLiteral("today")
                           : QStringLiteral("not today: the first member lookup signs in again")));
    }
}

void Doctor::signIn(ZoVORDACtl& p_Ctl) {
    QString error;
    if (!p_Ctl.Signin(m_sSigninStore, error)) {
        add(Level::Fail, QStringLiteral("sign-in as store %1 failed: %2").arg(m_sSigninStore, error),
            QStringLiteral("check the store number, ZoVORDA.ini [Config] password and RVX_Config.ini [NAV] "
                           "pointcode against the CRM's records for this till"));
        return;
    }
    QSettings own(kOwnIni, QSettings::IniFormat);
    own.setIniCodec("UTF-8");
    add(Level::Ok,
        QStringLiteral("sign-in as store %1 accepted: shop_id %2 and token %3 written to ZoVORDA.ini")
            .arg(m_sSigninStore, p_Ctl.shop_id,
                 masked(own.value(QStringLiteral("Config/token")).toString())));
}

void Doctor::checkCrm(ZoVORDACtl& p_Ctl) {
    const QSettings own(kOwnIni, QSettings::IniFormat);
    const QString address = shownAddress(own.value(QStringLiteral("Config/HttpAddress")).toString());
    // A member query with an empty key finds nobody and changes nothing on the CRM.
    const QVariantMap body{
        {QStringLiteral("cardno"), QString()},
        {QStringLiteral("shop_id"), own.value(QStringLiteral("Config/shop_id")).toString()}};
    const QString request =
        QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(body)).toJson(QJsonDocument::Compact));

    // The exchange's log records go to a folder that goes with us: the till's log
    // is for the till's own business.
    QString reply;
    QString error;
    bool answered = false;
    {
        QTemporaryDir scratch;
        const QString logDir = p_Ctl.logger.logDir;
        if (scratch.isValid())
            p_Ctl.logger.logDir = scratch.filePath(QStringLiteral("LOG"));
        answered = p_Ctl.CallCrm(QStringLiteral("pmb001"), request, reply, error);
        p_Ctl.logger.logDir = logDir;
    }

    if (!m_bCrmConfigured) {
        add(Level::Fail, QStringLiteral("CRM not asked: ") + error,
            QStringLiteral("set HttpAddress, company_id and pointcode first (see above)"));
        return;
    }
    if (!answered) {
        add(Level::Fail, QStringLiteral("CRM at %1 does not answer: %2").arg(address, error),
            QStringLiteral(
                "check that the CRM runs and that this till reaches it at that address (port, proxy, "
                "firewall)"));
        return;
    }

    CrmReplyTexts texts;
    texts.notJson = QStringLiteral("the reply is not JSON");
    texts.notObject = QStringLiteral("the reply is not a JSON object");
    texts.noData = QStringLiteral("the reply has no \"data\"");
    texts.noResultCode = QStringLiteral("the reply has no \"data\".\"result_code\"");
    texts.refusedNoMsg = QStringLiteral("a refusal without result_msg");
    texts.codeFirst = true;
    QVariantMap data;
    QString problem;
    const CrmReplyStatus status = ReadCrmReply(reply, texts, data, problem);
    if (status == CrmReplyStatus::Accepted) {
        add(Level::Ok, QStringLiteral("CRM at %1 answers: a member query is accepted").arg(address));
        return;
    }
    if (status == CrmReplyStatus::NotJson || problem == texts.notObject || problem == texts.noData ||
        problem == texts.noResultCode) {
        QString excerpt = reply.simplified();
        if (excerpt.size() > 60)
            excerpt = excerpt.left(60) + QStringLiteral("…");
        add(Level::Fail,
            QStringLiteral("CRM at %1 answers, but not as the Vorda CRM: %2: \"%3\"")
                .arg(address, problem, excerpt),
            QStringLiteral("HttpAddress must be the Vorda CRM's base address, the part before /txCtrl"));
        return;
    }
    add(Level::Warn, QStringLiteral("CRM at %1 answers, but refuses this till: %2").arg(address, problem),
        QStringLiteral("when it is about the token, sign in: zovorda-doctor --signin STORE; otherwise check "
                       "company_id and pointcode with the CRM"));
}

void Doctor::checkDatabase() {
    if (!QFileInfo::exists(kDbIni)) {
        add(Level::Warn,
            QStringLiteral("config.ini is not in %1: members cannot be found while the CRM is down")
                .arg(QDir::currentPath()),
            QStringLiteral("create config.ini with [DataBase] DbType=") + kTypes);
        return;
    }
    const QSettings settings(kDbIni, QSettings::IniFormat);
    const QString type = settings.value(QStringLiteral("DataBase/DbType")).toString().toUpper();
    if (type.isEmpty()) {
        add(Level::Warn,
            QStringLiteral(
                "config.ini [DataBase] DbType is not set: members cannot be found while the CRM is down"),
            QStringLiteral("set DbType=") + kTypes);
        return;
    }

    if (type == QLatin1String("SQLITE")) {
        // Opening a missing SQLite file would leave an empty one behind. A bare name
        // is the plug-in's way of saying "beside the program that loaded me".
        const QSettings own(kOwnIni, QSettings::IniFormat);
        const QString name =
            own.value(QStringLiteral("Config/dbname"), QStringLiteral("pelmun")).toString().trimmed();
        const bool bare = !name.contains(QLatin1Char(':')) && !name.contains(QLatin1Char('/')) &&
                          !name.contains(QLatin1Char('\\'));
        const QString file = bare ? QCoreApplication::applicationDirPath() + QLatin1Char('/') + name : name;
        if (!QFileInfo(file).isFile()) {
            add(Level::Fail, QStringLiteral("member database file %1 does not exist").arg(file),
                bare ? QStringLiteral(
                           "a bare ZoVORDA.ini [Config] dbname is a file beside the program that loads "
                           "the plug-in; set dbname to the member file's full path")
                     : QStringLiteral("correct ZoVORDA.ini [Config] dbname, or put the member file there"));
            return;
        }
    }

    PosDB db;
    QString error;
    const bool open = db.openDB(error);
    // Declared after the database object, so that it lets go of the connection first.
    const QSqlDatabase conn = QSqlDatabase::database(db.connectionName(), false);
    if (!open) {
        add(Level::Fail,
            QStringLiteral("member database %1 does not open: %2").arg(describe(conn, type), error),
            openFix(type, error));
        return;
    }
    add(Level::Ok, QStringLiteral("member database opens: ") + describe(conn, type));

    QSqlQuery total;
    if (!db.openRecordset(QStringLiteral("select count(*) from t_member"), total, error)) {
        add(Level::Fail, QStringLiteral("t_member cannot be read: ") + total.lastError().text(),
            createTableFix(type));
        return;
    }
    const qlonglong rows = total.next() ? total.value(0).toLongLong() : 0;
    const QSqlRecord columns = conn.record(QStringLiteral("t_member"));
    QStringList missing;
    for (const QString& column : kMemberColumns) {
        if (!columns.isEmpty() && !columns.contains(column))
            missing.append(column);
    }
    if (!missing.isEmpty()) {
        add(Level::Fail,
            QStringLiteral("t_member lacks the columns %1, which the offline lookup reads")
                .arg(missing.join(QStringLiteral(", "))),
            createTableFix(type));
        return;
    }
    QSqlQuery active;
    db.openRecordset(QStringLiteral("select count(*) from t_member where status='1'"), active, error);
    const qlonglong members = active.next() ? active.value(0).toLongLong() : 0;
    if (rows == 0)
        add(Level::Warn, QStringLiteral("t_member is empty: members cannot be found while the CRM is down"),
            QStringLiteral("load them with db/load_members.py"));
    else if (members == 0)
        add(Level::Warn,
            QStringLiteral("t_member has %1 rows, none of them active (status '1'): the offline lookup finds "
                           "nobody")
                .arg(rows),
            QStringLiteral("load the members again with db/load_members.py"));
    else
        add(Level::Ok,
            QStringLiteral("t_member has %1 rows, %2 of them active (status '1')").arg(rows).arg(members));

    // Without an index each offline lookup reads the whole table, while the cashier waits.
    bool known = false;
    const QStringList indexed = indexedColumns(db, type, known);
    if (!known)
        return;
    QStringList unindexed;
    QStringList statements;
    for (const QString& column : kLookupColumns) {
        if (!indexed.contains(column, Qt::CaseInsensitive)) {
            unindexed.append(column);
            statements.append(
                QStringLiteral("CREATE INDEX idx_t_member_%1 ON t_member (%1, status)").arg(column));
        }
    }
    if (unindexed.isEmpty())
        add(Level::Ok, QStringLiteral("t_member has an index for each lookup: ") +
                           kLookupColumns.join(QStringLiteral(", ")));
    else
        add(Level::Warn,
            QStringLiteral(
                "t_member has no index for the lookup by %1: each such lookup reads the whole table")
                .arg(unindexed.join(QStringLiteral(", "))),
            statements.join(QStringLiteral("; ")));
}

void Doctor::checkLogFolder() {
    // The plug-in's own logger says where it writes: LOG under the working directory.
    const QString dir = PayLogger().logDir;
    const QFileInfo info(dir);
    if (!info.exists()) {
        // Made and taken away again: the plug-in makes it with its first record.
        if (!QDir().mkdir(dir)) {
            add(Level::Fail, QStringLiteral("log folder %1 cannot be created").arg(dir),
                QStringLiteral("give the till's user the right to write in ") + QDir::currentPath());
            return;
        }
        QDir().rmdir(dir);
        add(Level::Ok,
            QStringLiteral("log folder %1 does not exist yet; the plug-in can create it").arg(dir));
        return;
    }
    if (!info.isDir()) {
        add(Level::Fail, QStringLiteral("%1 is a file, not a folder: the plug-in writes no log").arg(dir),
            QStringLiteral(
                "remove or rename that file; the plug-in creates the folder with its next record"));
        return;
    }
    QTemporaryFile probe(dir + QStringLiteral("/doctor-XXXXXX.tmp"));
    if (!probe.open()) {
        add(Level::Fail, QStringLiteral("log folder %1 is not writable").arg(dir),
            QStringLiteral("give the till's user the right to write in it"));
        return;
    }
    // Opened for appending and closed unwritten: today's records stay as they are.
    QFile today(dir + QStringLiteral("/PayLog") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                QStringLiteral(".txt"));
    if (today.exists() && !today.open(QIODevice::WriteOnly | QIODevice::Append)) {
        add(Level::Fail, QStringLiteral("today's log %1 cannot be written").arg(today.fileName()),
            QStringLiteral("give the till's user the right to write it"));
        return;
    }
    add(Level::Ok, QStringLiteral("log folder %1 is writable").arg(dir));
}
