#pragma once
#include <QCoreApplication>
#include <QList>
#include <QSql>
#include <QString>
#include <QVariant>

#include <memory>

class PosDB;
class QSqlQuery;

// One parameter of a stored procedure call: values travel as text, whole numbers are
// converted on the way in, and output values come back as text.
struct ProcParam {
    QString name;
    QSql::ParamType direction = QSql::In;
    QVariant::Type type = QVariant::String;
    QString value;
};

// Stored procedures on SQL Server ("exec …", bound by position) and Oracle
// ("call …", bound by name); other databases have none for the till. The query is
// handed to the caller once it exists, also when it failed.
class StoredProcedures {
    Q_DECLARE_TR_FUNCTIONS(StoredProcedures)
public:
    explicit StoredProcedures(PosDB& db);

    bool run(const QString& name, QString& error, std::unique_ptr<QSqlQuery>& query);
    // Output parameters get their values back into the list.
    bool run(const QString& name, QList<ProcParam>& params, QString& error,
             std::unique_ptr<QSqlQuery>& query);

private:
    QString callText(const QString& name, const QList<ProcParam>& params) const;
    bool bind(QSqlQuery& query, const QList<ProcParam>& params, QString& error) const;
    QString unsupported() const;

    PosDB& m_db;
};
