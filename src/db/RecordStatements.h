#pragma once
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVariantList>

class PosDB;

// Statements built from a table and its columns, run with their values bound, so that
// no value needs quoting; and the plain-text insert for a script.
class RecordStatements {
    Q_DECLARE_TR_FUNCTIONS(RecordStatements)
public:
    explicit RecordStatements(PosDB& db);

    bool insert(const QString& table, const QStringList& columns, const QVariantList& values, QString& error);
    // where without the WHERE keyword; empty updates every row.
    bool update(const QString& table, const QStringList& columns, const QVariantList& values,
                const QString& where, QString& error);
    // "exec <procedure> ?,?…" with the arguments bound by position.
    bool execWithArgs(const QString& procedure, const QVariantList& args, QString& error);

    // "insert into t(a,b) values('1','It''s');": every value a quoted text.
    static QString insertText(const QString& table, const QStringList& columns, const QStringList& values);

private:
    bool runPrepared(const QString& function, const QString& sql, const QStringList& names,
                     const QVariantList& values, QString& error);
    static bool matches(const QString& function, const QString& table, const QStringList& columns,
                        const QVariantList& values, QString& error);

    PosDB& m_db;
};
