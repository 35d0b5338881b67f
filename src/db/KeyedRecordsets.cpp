#include "db/KeyedRecordsets.h"

#include "db/PosDB.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

KeyedRecordsets::KeyedRecordsets(PosDB& db) : m_db(db) {}

KeyedRecordsets::~KeyedRecordsets() = default;

bool KeyedRecordsets::open(int key, const QString& sql, QString& error) {
    if (!m_db.startRecordset(sql, error))
        return false;
    std::unique_ptr<QSqlQuery>& query = m_recordsets[key];
    query.reset(); // the key's earlier statement ends before the new one runs
    query = std::make_unique<QSqlQuery>(m_db.database());
    if (query->exec(sql))
        return true;
    error += query->lastError().text();
    return false;
}

bool KeyedRecordsets::close(int key) {
    return m_recordsets.erase(key) > 0;
}

QSqlQuery* KeyedRecordsets::active(int key) const {
    if (!m_db.isOpen())
        return nullptr;
    const auto it = m_recordsets.find(key);
    return it != m_recordsets.end() && it->second->isActive() ? it->second.get() : nullptr;
}

bool KeyedRecordsets::move(int key, bool (QSqlQuery::*step)()) {
    QSqlQuery* query = active(key);
    return query && (query->*step)();
}

bool KeyedRecordsets::moveFirst(int key) {
    return move(key, &QSqlQuery::first);
}

bool KeyedRecordsets::movePrevious(int key) {
    return move(key, &QSqlQuery::previous);
}

bool KeyedRecordsets::moveNext(int key) {
    return move(key, &QSqlQuery::next);
}

bool KeyedRecordsets::moveLast(int key) {
    return move(key, &QSqlQuery::last);
}

bool KeyedRecordsets::moveTo(int key, int row) {
    QSqlQuery* query = active(key);
    return query && query->seek(row);
}

int KeyedRecordsets::currentRow(int key) {
    QSqlQuery* query = active(key);
    return query ? query->at() : 0;
}

int KeyedRecordsets::recordCount(int key) {
    QSqlQuery* query = active(key);
    if (!query)
        return 0;
    if (m_db.database().driver()->hasFeature(QSqlDriver::QuerySize))
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

QVariant KeyedRecordsets::value(int key, const QString& column) const {
    QSqlQuery* query = active(key);
    return query && query->isValid() ? query->value(column) : QVariant();
}

QString KeyedRecordsets::stringValue(int key, const QString& column) const {
    return value(key, column).toString();
}

int KeyedRecordsets::intValue(int key, const QString& column) const {
    return value(key, column).toInt();
}

double KeyedRecordsets::doubleValue(int key, const QString& column) const {
    return value(key, column).toDouble();
}

QDateTime KeyedRecordsets::dateTimeValue(int key, const QString& column) const {
    return value(key, column).toDateTime();
}

QByteArray KeyedRecordsets::bytesValue(int key, const QString& column) const {
    return value(key, column).toByteArray();
}
