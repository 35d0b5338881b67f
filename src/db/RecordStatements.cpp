#include "db/RecordStatements.h"

#include "db/PosDB.h"

#include <QSqlError>
#include <QSqlQuery>

// The error texts name the operations as support staff have always read them in the
// log ("insertRecord", "updateRecord", "exexCall"), whatever the methods are called here.

RecordStatements::RecordStatements(PosDB& db) : m_db(db) {}

bool RecordStatements::matches(const QString& function, const QString& table, const QStringList& columns,
                               const QVariantList& values, QString& error) {
    if (!columns.isEmpty() && columns.size() == values.size())
        return true;
    error =
        QStringLiteral("函数:") + function + QStringLiteral("||执行:") + table + tr("||字段与值的个数不符");
    return false;
}

bool RecordStatements::insert(const QString& table, const QStringList& columns, const QVariantList& values,
                              QString& error) {
    if (!matches(QStringLiteral("insertRecord"), table, columns, values, error))
        return false;
    const QString sql = QStringLiteral("INSERT INTO %1(").arg(table) + columns.join(QLatin1Char(',')) +
                        QStringLiteral(") VALUES (:") + columns.join(QStringLiteral(",:")) + QLatin1Char(')');
    return runPrepared(QStringLiteral("insertRecord"), sql, columns, values, error);
}

bool RecordStatements::update(const QString& table, const QStringList& columns, const QVariantList& values,
                              const QString& where, QString& error) {
    if (!matches(QStringLiteral("updateRecord"), table, columns, values, error))
        return false;
    QStringList sets;
    for (const QString& column : columns)
        sets << column + QStringLiteral("=:") + column;
    QString sql = QStringLiteral("UPDATE %1 SET ").arg(table) + sets.join(QLatin1Char(','));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return runPrepared(QStringLiteral("updateRecord"), sql, columns, values, error);
}

bool RecordStatements::execWithArgs(const QString& procedure, const QVariantList& args, QString& error) {
    QStringList marks;
    for (int i = 0; i < args.size(); ++i)
        marks << QStringLiteral("?");
    return runPrepared(QStringLiteral("exexCall"),
                       QStringLiteral("exec %1 ").arg(procedure) + marks.join(QLatin1Char(',')),
                       QStringList(), args, error);
}

QString RecordStatements::insertText(const QString& table, const QStringList& columns,
                                     const QStringList& values) {
    QStringList quoted;
    for (QString value : values)
        quoted << QLatin1Char('\'') + value.replace(QLatin1Char('\''), QStringLiteral("''")) +
                      QLatin1Char('\'');
    return QStringLiteral("insert into ") + table + QLatin1Char('(') + columns.join(QLatin1Char(',')) +
           QStringLiteral(") values(") + quoted.join(QLatin1Char(',')) + QStringLiteral(");");
}

bool RecordStatements::runPrepared(const QString& function, const QString& sql, const QStringList& names,
                                   const QVariantList& values, QString& error) {
    if (!m_db.startOperation(function, sql, error))
        return false;
    QSqlQuery query(m_db.database());
    if (!query.prepare(sql)) {
        error += query.lastError().text();
        return false;
    }
    for (int i = 0; i < values.size(); ++i) {
        if (names.isEmpty())
            query.bindValue(i, values.at(i));
        else
            query.bindValue(QLatin1Char(':') + names.at(i), values.at(i));
    }
    if (query.exec())
        return true;
    error += query.lastError().text();
    return false;
}
