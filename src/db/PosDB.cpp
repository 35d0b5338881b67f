#include "db/PosDB.h"

#include "db/ConnectionRules.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString serverDateQuery(DbType type) {
    switch (type) {
    case DbType::Sqlite:
        return QStringLiteral("select datetime('now') as date");
    case DbType::MySql:
        return QStringLiteral("select current_timestamp as date");
    case DbType::SqlServer:
    case DbType::Access:
        return QStringLiteral("select getdate() as date");
    case DbType::Oracle:
        return QStringLiteral("select sysdate as date from dual");
    }
    return QString();
}

} // namespace

// The SQL module's registries and driver plug-ins are left alone until the first open:
// looking the plug-ins up costs the till's first call several milliseconds, and the
// controller that owns this object goes with the host's application object, before
// any registry of the SQL module is torn down.
PosDB::PosDB() : m_settings(DbSettings::fromIniFiles()) {}

PosDB::~PosDB() {
    if (!m_type)
        return;
    m_prepared.clear();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool PosDB::openDB(QString& error) {
    if (m_settings.type.isEmpty()) {
        error = tr("未设置数据库类型");
        return false;
    }
    const bool ready = (m_type || createConnection(error)) && (m_db.isOpen() || openByType(error));
    m_openFailed = !ready;
    // No separator: after a driver's text the message reads "<driver text>数据库打开失败！".
    if (!ready)
        error += tr("数据库打开失败！");
    return ready;
}

bool PosDB::createConnection(QString& error) {
    const std::optional<DbType> type = DbTypes::parse(m_settings.type);
    if (!type) {
        error = tr("不支持的数据库类型%1，").arg(m_settings.type);
        return false;
    }
    m_type = type;
    m_typeName = m_settings.type.toUpper();
    // The host or another plug-in may hold connections of its own in the process-wide
    // registry; ours takes the first number nobody uses.
    for (int n = 0;; ++n) {
        m_connectionName = QStringLiteral("MyDBProcessConn%1").arg(n);
        if (!QSqlDatabase::database(m_connectionName, false).isValid())
            break;
    }
    m_db = QSqlDatabase::addDatabase(DbTypes::driverName(*type), m_connectionName);
    return true;
}

bool PosDB::openByType(QString& error) {
    m_prepared.clear();
    if (!ConnectionRules::apply(m_db, *m_type, m_settings))
        return false;
    if (!m_db.open()) {
        error = m_db.lastError().text();
        return false;
    }
    // The member table holds Chinese names; the session must speak UTF-8 with us.
    if (m_type == DbType::MySql)
        QSqlQuery(m_db).exec(QStringLiteral("SET NAMES 'utf8'"));
    return true;
}

bool PosDB::isOpen() const {
    return m_type && m_db.isOpen();
}

void PosDB::close() {
    m_prepared.clear();
    if (m_type)
        m_db.close();
}

bool PosDB::startOperation(const QString& function, const QString& what, QString& error) const {
    // The prefix stays in the text also on success, so a later failure of the caller
    // can still say which statement it was about.
    error = QStringLiteral("函数:") + function + QStringLiteral("||执行:") + what + QStringLiteral("||");
    if (isOpen())
        return true;
    error += QStringLiteral(" DataBase is not opened!");
    return false;
}

bool PosDB::startRecordset(const QString& sql, QString& error) const {
    if (!m_type) {
        error = QStringLiteral("Connection is not Created!");
        return false;
    }
    return startOperation(QStringLiteral("openRecordset"), sql, error);
}

bool PosDB::openRecordset(const QString& sql, QSqlQuery& query, QString& error) {
    if (!startRecordset(sql, error))
        return false;
    query = QSqlQuery(m_db);
    if (query.exec(sql))
        return true;
    error += query.lastError().text();
    return false;
}

bool PosDB::openRecordset(const QString& sql, const QString& statement, const QString& value,
                          QSqlQuery& query, QString& error) {
    if (m_type != DbType::Sqlite)
        return openRecordset(sql, query, error);
    if (!startRecordset(sql, error))
        return false;
    auto kept = m_prepared.find(statement);
    if (kept == m_prepared.end()) {
        query = QSqlQuery(m_db);
        // SQLite runs a literal statement by preparing it too: a failure reads the same.
        if (!query.prepare(statement)) {
            error += query.lastError().text();
            return false;
        }
        kept = m_prepared.insert(statement, query);
    }
    kept->bindValue(0, value);
    query = *kept;
    if (query.exec())
        return true;
    error += query.lastError().text();
    return false;
}

bool PosDB::execute(const QString& sql, QString& error) {
    // The error texts name the operation as support staff have always read it in the
    // log: "excuteSQL", with the statement's first 30 characters.
    if (!startOperation(QStringLiteral("excuteSQL"), sql.left(30), error))
        return false;
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    error += query.lastError().text();
    return false;
}

bool PosDB::transactionStep(bool (QSqlDatabase::*step)()) {
    return isOpen() && m_db.driver()->hasFeature(QSqlDriver::Transactions) && (m_db.*step)();
}

bool PosDB::beginTransaction() {
    return transactionStep(&QSqlDatabase::transaction);
}

bool PosDB::commit() {
    return transactionStep(&QSqlDatabase::commit);
}

bool PosDB::rollback() {
    return transactionStep(&QSqlDatabase::rollback);
}

QDateTime PosDB::serverDateTime() {
    if (isOpen()) {
        QSqlQuery query(m_db);
        if (query.exec(serverDateQuery(*m_type)) && query.next())
            return query.value(QStringLiteral("date")).toDateTime();
    }
    return QDateTime::currentDateTime();
}

QString PosDB::quoteText(const QString& text) const {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    if (m_type == DbType::MySql)
        quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return quoted;
}
