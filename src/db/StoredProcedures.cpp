#include "db/StoredProcedures.h"

#include "db/PosDB.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace {

bool isWholeNumber(QVariant::Type type) {
    return type == QVariant::Int || type == QVariant::UInt || type == QVariant::LongLong ||
           type == QVariant::ULongLong;
}

} // namespace

// The error texts name the operations as support staff have always read them in the
// log ("exexProc", "exexProcWithArgs"), whatever the methods are called here.

StoredProcedures::StoredProcedures(PosDB& db) : m_db(db) {}

QString StoredProcedures::unsupported() const {
    return tr("不支持在数据库类型") + m_db.typeName() + tr("执行存储过程");
}

bool StoredProcedures::run(const QString& name, QString& error, std::unique_ptr<QSqlQuery>& query) {
    query.reset();
    if (!m_db.startOperation(QStringLiteral("exexProc"), name, error))
        return false;
    QString sql;
    if (m_db.type() == DbType::SqlServer) {
        sql = QStringLiteral("exec ") + name + QStringLiteral(" ");
    } else if (m_db.type() == DbType::Oracle) {
        sql = QStringLiteral("call ") + name + QStringLiteral("() ");
    } else {
        error = unsupported();
        return false;
    }
    query = std::make_unique<QSqlQuery>(m_db.database());
    if (query->prepare(sql) && query->exec())
        return true;
    error = query->lastError().text();
    return false;
}

// SQL Server binds by position ("exec p ?,? output "), Oracle by name ("CALL p(:a,:b)").
QString StoredProcedures::callText(const QString& name, const QList<ProcParam>& params) const {
    QStringList marks;
    if (m_db.type() == DbType::SqlServer) {
        for (const ProcParam& param : params)
            marks << ((param.direction & QSql::Out) ? QStringLiteral("? output ") : QStringLiteral("?"));
        return QStringLiteral("exec %1 ").arg(name) + marks.join(QLatin1Char(','));
    }
    for (const ProcParam& param : params)
        marks << param.name;
    return QStringLiteral("CALL %1(").arg(name) + QLatin1Char(':') + marks.join(QStringLiteral(",:")) +
           QLatin1Char(')');
}

bool StoredProcedures::bind(QSqlQuery& query, const QList<ProcParam>& params, QString& error) const {
    const bool byName = m_db.type() == DbType::Oracle;
    for (int i = 0; i < params.size(); ++i) {
        const ProcParam& param = params.at(i);
        QVariant value(param.value);
        if (isWholeNumber(param.type)) {
            bool ok = true;
            // A pure output parameter brings no value in; it only sets the type.
            const qlonglong number = (param.direction & QSql::In) ? param.value.toLongLong(&ok) : 0;
            if (!ok) {
                error += tr("参数") + param.name + tr("类型转换错误");
                return false;
            }
            value = number;
        }
        if (byName)
            query.bindValue(QLatin1Char(':') + param.name, value, param.direction);
        else
            query.bindValue(i, value, param.direction);
    }
    return true;
}

bool StoredProcedures::run(const QString& name, QList<ProcParam>& params, QString& error,
                           std::unique_ptr<QSqlQuery>& query) {
    query.reset();
    if (!m_db.startOperation(QStringLiteral("exexProcWithArgs"), name, error))
        return false;
    if (name.isEmpty() || params.isEmpty()) {
        error += tr(" 存储过程名称或参数错误!");
        return false;
    }
    if (m_db.type() != DbType::SqlServer && m_db.type() != DbType::Oracle) {
        error = unsupported();
        return false;
    }
    query = std::make_unique<QSqlQuery>(m_db.database());
    query->prepare(callText(name, params));
    if (!bind(*query, params, error))
        return false;
    if (!query->exec()) {
        error += query->lastError().text();
        return false;
    }
    const bool byName = m_db.type() == DbType::Oracle;
    for (int i = 0; i < params.size(); ++i) {
        ProcParam& param = params[i];
        if (param.direction & QSql::Out)
            param.value =
                (byName ? query->boundValue(QLatin1Char(':') + param.name) : query->boundValue(i)).toString();
    }
    return true;
}
