#include "db/PosDB.h"

#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QTextStream>

namespace {

const QString kSqlite = QStringLiteral("SQLITE");
const QString kMysql = QStringLiteral("MYSQL");
const QString kSqlServer = QStringLiteral("SQLSERVER");
const QString kOracle = QStringLiteral("ORACLE");
const QString kAccess = QStringLiteral("ACCESS");

// Access goes through ODBC like SQL Server: on a Windows till the Jet/ACE ODBC driver
// answers; elsewhere the open fails with the ODBC manager's own text unless someone
// registered a driver under the Access driver's name.
QString driverFor(const QString& p_sType) {
    if (p_sType == kSqlite)
        return QStringLiteral("QSQLITE");
    if (p_sType == kMysql)
        return QStringLiteral("QMYSQL");
    if (p_sType == kSqlServer || p_sType == kAccess)
        return QStringLiteral("QODBC");
    if (p_sType == kOracle)
        return QStringLiteral("QOCI");
    return QString();
}

bool isWholeNumber(QVariant::Type p_Type) {
    return p_Type == QVariant::Int || p_Type == QVariant::UInt || p_Type == QVariant::LongLong ||
           p_Type == QVariant::ULongLong;
}

} // namespace

PosDB::PosDB() {
    QSettings db(QStringLiteral("config.ini"), QSettings::IniFormat);
    m_sCfgType = db.value(QStringLiteral("DataBase/DbType"), QString()).toString();
    m_sServer = db.value(QStringLiteral("DataBase/ServiceName"), QString()).toString();
    m_sUser = db.value(QStringLiteral("DataBase/UserName"), QString()).toString();
    m_sPassword = db.value(QStringLiteral("DataBase/Password"), QString()).toString();
    m_nPort = db.value(QStringLiteral("DataBase/Port"), 0).toInt();
    QSettings own(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    m_sDbName = own.value(QStringLiteral("Config/dbname"), QStringLiteral("pelmun")).toString();

    // The controller lives in a static object of the plug-in. Touching the SQL module's
    // registries now builds them before us, so at process exit they are torn down after
    // us and the destructor still finds the connection registry and the driver plug-ins.
    QSqlDatabase::drivers();
    QSqlDatabase::contains(QString());
}

PosDB::~PosDB() {
    qDeleteAll(m_Recordsets);
    m_Recordsets.clear();
    if (m_pDB) {
        const QString name = m_pDB->connectionName();
        delete m_pDB;
        m_pDB = nullptr;
        QSqlDatabase::removeDatabase(name);
    }
}

bool PosDB::openDB(QString& p_sError) {
    if (m_sCfgType.isEmpty()) {
        p_sError = tr("未设置数据库类型");
        return false;
    }
    if (m_sDbType.isEmpty() && !createConnection(p_sError)) {
        m_bOpenFailed = true;
        p_sError += tr("数据库打开失败！");
        return false;
    }
    if (m_pDB->isOpen() || openByType(p_sError)) {
        m_bOpenFailed = false;
        return true;
    }
    m_bOpenFailed = true;
    p_sError += tr("数据库打开失败！");
    return false;
}

bool PosDB::createConnection(QString& p_sError) {
    const QString type = m_sCfgType.toUpper();
    const QString driver = driverFor(type);
    if (driver.isEmpty()) {
        p_sError = tr("不支持的数据库类型%1，").arg(m_sCfgType);
        return false;
    }
    m_sDbType = type;
    qDeleteAll(m_Recordsets);
    m_Recordsets.clear();
    // The host or another plug-in may hold connections of its own in the process-wide
    // registry; ours takes the first number nobody uses.
    for (int n = 0;; ++n) {
        m_sConnName = QStringLiteral("MyDBProcessConn%1").arg(n);
        if (!QSqlDatabase::database(m_sConnName, false).isValid())
            break;
    }
    m_pDB = new QSqlDatabase(QSqlDatabase::addDatabase(driver, m_sConnName));
    return true;
}

QString PosDB::inAppDir(const QString& p_sFile, const QString& p_sSeparators) {
    for (const QChar c : p_sSeparators) {
        if (p_sFile.contains(c))
            return p_sFile;
    }
    return QStringLiteral("%1/%2").arg(QCoreApplication::applicationDirPath(), p_sFile);
}

bool PosDB::readAccessLink(QString& p_sFile) const {
    QFile link(m_sServer);
    if (!link.open(QIODevice::ReadOnly))
        return false;
    QTextStream in(&link);
    in.setCodec("UTF-8");
    QString text = in.readAll();
    // A data link file saved by Windows is UTF-16; without a byte-order mark the UTF-8
    // reading shows it as every other character being NUL.
    if (text.size() > 3 && text.at(1).isNull()) {
        in.seek(0);
        in.setCodec("UTF-16LE");
        text = in.readAll();
    }
    // "Provider=…;Data Source=<file>;…": the value after the second "=".
    const int first = text.indexOf(QLatin1Char('='));
    const int second = first < 0 ? -1 : text.indexOf(QLatin1Char('='), first + 1);
    QString file;
    if (second >= 0) {
        const int end = text.indexOf(QLatin1Char(';'), second + 1);
        file = text.mid(second + 1, end < 0 ? -1 : end - second - 1).trimmed();
    }
    p_sFile = inAppDir(file, QStringLiteral(":"));
    return true;
}

bool PosDB::openByType(QString& p_sError) {
    QSqlDatabase& db = *m_pDB;
    if (m_sDbType == kSqlite) {
        db.setDatabaseName(inAppDir(m_sDbName.trimmed(), QStringLiteral(":/\\")));
    } else if (m_sDbType == kMysql) {
        db.setHostName(m_sServer.isEmpty() ? QStringLiteral("localhost") : m_sServer);
        db.setUserName(m_sUser.isEmpty() ? QStringLiteral("root") : m_sUser);
        if (m_sDbName.isEmpty())
            return false;
        db.setDatabaseName(m_sDbName);
        db.setPassword(m_sPassword);
        // The connection is opened once and kept. When the server restarts (a nightly
        // back-up, a power cut in the back office) the kept connection is dead although
        // it still counts as open; without this every later lookup would fail with
        // "server has gone away" until the till program is restarted.
        db.setConnectOptions(QStringLiteral("MYSQL_OPT_RECONNECT=1"));
    } else if (m_sDbType == kSqlServer) {
        db.setDatabaseName(
            QStringLiteral("DRIVER={SQL SERVER};SERVER=%1;DATABASE=%2").arg(m_sServer, m_sDbName));
        db.setUserName(m_sUser);
        db.setPassword(m_sPassword);
        db.setPort(m_nPort > 0 ? m_nPort : 1433);
    } else if (m_sDbType == kOracle) {
        db.setHostName(m_sServer);
        db.setDatabaseName(m_sDbName);
        db.setUserName(m_sUser);
        db.setPassword(m_sPassword);
        db.setPort(m_nPort > 0 ? m_nPort : 1521);
    } else if (m_sDbType == kAccess) {
        QString file;
        QString user = m_sUser.isEmpty() ? QStringLiteral("sa") : m_sUser;
        QString password = m_sPassword;
        if (!m_sServer.isEmpty()) {
            if (!readAccessLink(file))
                return false;
            user = QStringLiteral("sa");
            password.clear();
        } else {
            file = inAppDir(m_sDbName.trimmed(), QStringLiteral(":/\\"));
        }
        db.setDatabaseName(
            QStringLiteral("DRIVER={Microsoft Access Driver (*.mdb,*.accdb)};DBQ=%1;UID=%2;PWD=%3")
                .arg(file, user, password));
    }
    if (!db.open()) {
        p_sError = db.lastError().text();
        return false;
    }
    if (m_sDbType == kMysql)
        QSqlQuery(db).exec(QStringLiteral("SET NAMES 'utf8'"));
    return true;
}

bool PosDB::openRecordset(const QString& p_sSQL, QSqlQuery& p_Query, QString& p_sError) {
    if (!m_pDB) {
        p_sError = QStringLiteral("Connection is not Created!");
        return false;
    }
    if (!startOperation(QStringLiteral("openRecordset"), p_sSQL, p_sError))
        return false;
    p_Query = QSqlQuery(*m_pDB);
    p_Query.clear();
    if (!p_Query.exec(p_sSQL)) {
        p_sError += p_Query.lastError().text();
        return false;
    }
    return true;
}

bool PosDB::startOperation(const QString& p_sFunc, const QString& p_sWhat, QString& p_sError) const {
    // The prefix stays in the text also on success, so a later failure of the caller
    // can still say which statement it was about.
    p_sError = QStringLiteral("函数:") + p_sFunc + QStringLiteral("||执行:") + p_sWhat + QStringLiteral("||");
    if (isOpen())
        return true;
    p_sError += QStringLiteral(" DataBase is not opened!");
    return false;
}

bool PosDB::excuteSQL(const QString& p_sSQL, QString& p_sError) {
    if (!startOperation(QStringLiteral("excuteSQL"), p_sSQL.left(30), p_sError))
        return false;
    QSqlQuery query(*m_pDB);
    query.clear();
    if (!query.exec(p_sSQL)) {
        p_sError += query.lastError().text();
        return false;
    }
    return true;
}

bool PosDB::exexProc(const QString& p_sProcName, QString& p_sError, QSqlQuery*& p_pQuery) {
    p_pQuery = nullptr;
    if (!startOperation(QStringLiteral("exexProc"), p_sProcName, p_sError))
        return false;
    QString sql;
    if (m_sDbType == kSqlServer) {
        sql = QStringLiteral("exec ") + p_sProcName + QStringLiteral(" ");
    } else if (m_sDbType == kOracle) {
        sql = QStringLiteral("call ") + p_sProcName + QStringLiteral("() ");
    } else {
        p_sError = tr("不支持在数据库类型") + m_sDbType + tr("执行存储过程");
        return false;
    }
    p_pQuery = new QSqlQuery(*m_pDB);
    if (!p_pQuery->prepare(sql) || !p_pQuery->exec()) {
        p_sError = p_pQuery->lastError().text();
        return false;
    }
    return true;
}

bool PosDB::exexProcWithArgs(const QString& p_sProcName, QList<ProcParam>& p_Params, QString& p_sError,
                             QSqlQuery*& p_pQuery) {
    p_pQuery = nullptr;
    if (!startOperation(QStringLiteral("exexProcWithArgs"), p_sProcName, p_sError))
        return false;
    if (p_sProcName.isEmpty() || p_Params.isEmpty()) {
        p_sError += tr(" 存储过程名称或参数错误!");
        return false;
    }
    // SQL Server binds by position ("exec p ?,? output "), Oracle by name ("CALL p(:a,:b)").
    const bool byName = m_sDbType == kOracle;
    QString sql;
    if (m_sDbType == kSqlServer) {
        QStringList marks;
        for (const ProcParam& param : qAsConst(p_Params))
            marks << ((param.direction & QSql::Out) ? QStringLiteral("? output ") : QStringLiteral("?"));
        sql = QStringLiteral("exec %1 ").arg(p_sProcName) + marks.join(QLatin1Char(','));
    } else if (byName) {
        QStringList names;
        for (const ProcParam& param : qAsConst(p_Params))
            names << param.name;
        sql = QStringLiteral("CALL %1(").arg(p_sProcName) + QLatin1Char(':') +
              names.join(QStringLiteral(",:")) + QLatin1Char(')');
    } else {
        p_sError = tr("不支持在数据库类型") + m_sDbType + tr("执行存储过程");
        return false;
    }
    p_pQuery = new QSqlQuery(*m_pDB);
    p_pQuery->prepare(sql);
    for (int i = 0; i < p_Params.size(); ++i) {
        const ProcParam& param = p_Params.at(i);
        QVariant value(param.value);
        if (isWholeNumber(param.type)) {
            bool ok = true;
            // A pure output parameter brings no value in; it only sets the type.
            const qlonglong number = (param.direction & QSql::In) ? param.value.toLongLong(&ok) : 0;
            if (!ok) {
                p_sError += tr("参数") + param.name + tr("类型转换错误");
                return false;
            }
            value = number;
        }
        if (byName)
            p_pQuery->bindValue(QLatin1Char(':') + param.name, value, param.direction);
        else
            p_pQuery->bindValue(i, value, param.direction);
    }
    if (!p_pQuery->exec()) {
        p_sError += p_pQuery->lastError().text();
        return false;
    }
    for (int i = 0; i < p_Params.size(); ++i) {
        ProcParam& param = p_Params[i];
        if (param.direction & QSql::Out)
            param.value =
                (byName ? p_pQuery->boundValue(QLatin1Char(':') + param.name) : p_pQuery->boundValue(i))
                    .toString();
    }
    return true;
}

bool PosDB::openRecordset(int p_nKey, const QString& p_sSQL, QString& p_sError) {
    if (!m_pDB) {
        p_sError = QStringLiteral("Connection is not Created!");
        return false;
    }
    if (!startOperation(QStringLiteral("openRecordset"), p_sSQL, p_sError))
        return false;
    delete m_Recordsets.take(p_nKey);
    QSqlQuery* query = new QSqlQuery(*m_pDB);
    m_Recordsets.insert(p_nKey, query);
    if (!query->exec(p_sSQL)) {
        p_sError += query->lastError().text();
        return false;
    }
    return true;
}

bool PosDB::closeRecordset(int p_nKey) {
    QSqlQuery* query = m_Recordsets.take(p_nKey);
    delete query;
    return query != nullptr;
}

QSqlQuery* PosDB::activeRecordset(int p_nKey) const {
    if (!isOpen())
        return nullptr;
    QSqlQuery* query = m_Recordsets.value(p_nKey);
    return query && query->isActive() ? query : nullptr;
}

bool PosDB::moveFirst(int p_nKey) {
    QSqlQuery* query = activeRecordset(p_nKey);
    return query && query->first();
}

bool PosDB::movePrevious(int p_nKey) {
    QSqlQuery* query = activeRecordset(p_nKey);
    return query && query->previous();
}

bool PosDB::moveNext(int p_nKey) {
    QSqlQuery* query = activeRecordset(p_nKey);
    return query && query->next();
}

bool PosDB::moveLast(int p_nKey) {
    QSqlQuery* query = activeRecordset(p_nKey);
    return query && query->last();
}

bool PosDB::moveTo(int p_nKey, int p_nRow) {
    QSqlQuery* query = activeRecordset(p_nKey);
    return query && query->seek(p_nRow);
}

int PosDB::currentRow(int p_nKey) {
    QSqlQuery* query = activeRecordset(p_nKey);
    return query ? query->at() : 0;
}

int PosDB::recordCount(int p_nKey) {
    QSqlQuery* query = activeRecordset(p_nKey);
    if (!query)
        return 0;
    if (m_pDB->driver()->hasFeature(QSqlDriver::QuerySize))
        return qMax(0, query->size());
    // SQLite and ODBC cannot tell the size up front: walk to the end and come back.
    const int at = query->at();
    const int count = query->last() ? query->at() + 1 : 0;
    if (at == QSql::AfterLastRow)
        query->next();
    else
        query->seek(at);
    return count;
}

QVariant PosDB::value(int p_nKey, const QString& p_sColumn) {
    QSqlQuery* query = activeRecordset(p_nKey);
    return query && query->isValid() ? query->value(p_sColumn) : QVariant();
}

QString PosDB::getString(int p_nKey, const QString& p_sColumn) {
    return value(p_nKey, p_sColumn).toString();
}

int PosDB::getInt(int p_nKey, const QString& p_sColumn) {
    return value(p_nKey, p_sColumn).toInt();
}

double PosDB::getDouble(int p_nKey, const QString& p_sColumn) {
    return value(p_nKey, p_sColumn).toDouble();
}

QDateTime PosDB::getDateTime(int p_nKey, const QString& p_sColumn) {
    return value(p_nKey, p_sColumn).toDateTime();
}

QByteArray PosDB::getBytes(int p_nKey, const QString& p_sColumn) {
    return value(p_nKey, p_sColumn).toByteArray();
}

bool PosDB::runPrepared(const QString& p_sFunc, const QString& p_sSQL, const QStringList& p_Names,
                        const QVariantList& p_Values, QString& p_sError) {
    if (!startOperation(p_sFunc, p_sSQL, p_sError))
        return false;
    QSqlQuery query(*m_pDB);
    if (!query.prepare(p_sSQL)) {
        p_sError += query.lastError().text();
        return false;
    }
    for (int i = 0; i < p_Values.size(); ++i) {
        if (p_Names.isEmpty())
            query.bindValue(i, p_Values.at(i));
        else
            query.bindValue(QLatin1Char(':') + p_Names.at(i), p_Values.at(i));
    }
    if (!query.exec()) {
        p_sError += query.lastError().text();
        return false;
    }
    return true;
}

bool PosDB::insertRecord(const QString& p_sTable, const QStringList& p_Columns, const QVariantList& p_Values,
                         QString& p_sError) {
    if (p_Columns.isEmpty() || p_Columns.size() != p_Values.size()) {
        p_sError = QStringLiteral("函数:insertRecord||执行:") + p_sTable + tr("||字段与值的个数不符");
        return false;
    }
    const QString sql = QStringLiteral("INSERT INTO %1(").arg(p_sTable) + p_Columns.join(QLatin1Char(',')) +
                        QStringLiteral(") VALUES (:") + p_Columns.join(QStringLiteral(",:")) +
                        QLatin1Char(')');
    return runPrepared(QStringLiteral("insertRecord"), sql, p_Columns, p_Values, p_sError);
}

bool PosDB::updateRecord(const QString& p_sTable, const QStringList& p_Columns, const QVariantList& p_Values,
                         const QString& p_sWhere, QString& p_sError) {
    if (p_Columns.isEmpty() || p_Columns.size() != p_Values.size()) {
        p_sError = QStringLiteral("函数:updateRecord||执行:") + p_sTable + tr("||字段与值的个数不符");
        return false;
    }
    QStringList sets;
    for (const QString& column : p_Columns)
        sets << column + QStringLiteral("=:") + column;
    QString sql = QStringLiteral("UPDATE %1 SET ").arg(p_sTable) + sets.join(QLatin1Char(','));
    if (!p_sWhere.isEmpty())
        sql += QStringLiteral(" WHERE ") + p_sWhere;
    return runPrepared(QStringLiteral("updateRecord"), sql, p_Columns, p_Values, p_sError);
}

QString PosDB::insertText(const QString& p_sTable, const QStringList& p_Columns,
                          const QStringList& p_Values) {
    QStringList quoted;
    for (QString value : p_Values)
        quoted << QLatin1Char('\'') + value.replace(QLatin1Char('\''), QStringLiteral("''")) +
                      QLatin1Char('\'');
    return QStringLiteral("insert into ") + p_sTable + QLatin1Char('(') + p_Columns.join(QLatin1Char(',')) +
           QStringLiteral(") values(") + quoted.join(QLatin1Char(',')) + QStringLiteral(");");
}

bool PosDB::exexCall(const QString& p_sProcName, const QVariantList& p_Args, QString& p_sError) {
    QStringList marks;
    for (int i = 0; i < p_Args.size(); ++i)
        marks << QStringLiteral("?");
    return runPrepared(QStringLiteral("exexCall"),
                       QStringLiteral("exec %1 ").arg(p_sProcName) + marks.join(QLatin1Char(',')),
                       QStringList(), p_Args, p_sError);
}

bool PosDB::beginTrans() {
    return isOpen() && m_pDB->driver()->hasFeature(QSqlDriver::Transactions) && m_pDB->transaction();
}

bool PosDB::commitTrans() {
    return isOpen() && m_pDB->driver()->hasFeature(QSqlDriver::Transactions) && m_pDB->commit();
}

bool PosDB::rollbackTrans() {
    return isOpen() && m_pDB->driver()->hasFeature(QSqlDriver::Transactions) && m_pDB->rollback();
}

QDateTime PosDB::getServerDate() {
    QString sql;
    if (m_sDbType == kSqlite)
        sql = QStringLiteral("select datetime('now') as date");
    else if (m_sDbType == kMysql)
        sql = QStringLiteral("select current_timestamp as date");
    else if (m_sDbType == kSqlServer || m_sDbType == kAccess)
        sql = QStringLiteral("select getdate() as date");
    else if (m_sDbType == kOracle)
        sql = QStringLiteral("select sysdate as date from dual");
    if (isOpen() && !sql.isEmpty()) {
        QSqlQuery query(*m_pDB);
        if (query.exec(sql) && query.next())
            return query.value(QStringLiteral("date")).toDateTime();
    }
    return QDateTime::currentDateTime();
}

bool PosDB::isOpen() const {
    return m_pDB && m_pDB->isOpen();
}

void PosDB::close() {
    if (m_pDB)
        m_pDB->close();
}

QString PosDB::quoteText(const QString& p_sText) const {
    QString text = p_sText;
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    if (m_sDbType == kMysql)
        text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return text;
}
