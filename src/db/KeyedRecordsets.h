#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>

class PosDB;
class QSqlQuery;

// Recordsets of one database kept under whole-number keys, for callers that walk
// several results at once. Every move and read answers false, 0 or an empty value
// when the connection is closed, the key is unknown or its statement did not run.
// Destroy it before the PosDB it reads from, whose connection its queries use.
class KeyedRecordsets {
public:
    explicit KeyedRecordsets(PosDB& db);
    ~KeyedRecordsets();
    KeyedRecordsets(const KeyedRecordsets&) = delete;
    KeyedRecordsets& operator=(const KeyedRecordsets&) = delete;

    // Runs the statement under the key, replacing what the key held.
    bool open(int key, const QString& sql, QString& error);
    // False when the key held nothing.
    bool close(int key);

    bool moveFirst(int key);
    bool movePrevious(int key);
    bool moveNext(int key);
    bool moveLast(int key);
    bool moveTo(int key, int row);
    int currentRow(int key);
    int recordCount(int key);

    // A column of the current row.
    QString stringValue(int key, const QString& column) const;
    int intValue(int key, const QString& column) const;
    double doubleValue(int key, const QString& column) const;
    QDateTime dateTimeValue(int key, const QString& column) const;
    QByteArray bytesValue(int key, const QString& column) const;

private:
    QSqlQuery* active(int key) const;
    bool move(int key, bool (QSqlQuery::*step)());
    QVariant value(int key, const QString& column) const;

    PosDB& m_db;
    std::map<int, std::unique_ptr<QSqlQuery>> m_recordsets;
};
