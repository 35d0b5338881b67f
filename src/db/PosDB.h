#pragma once
#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

class QSqlDatabase;

// One parameter of a stored procedure call: values travel as text, whole numbers are
// converted on the way in, and output values come back as text.
struct ProcParam {
    QString name;
    QSql::ParamType direction = QSql::In;
    QVariant::Type type = QVariant::String;
    QString value;
};

// The till's local database: one named connection of the type config.ini names
// (SQLITE, MYSQL, SQLSERVER, ORACLE, ACCESS), opened on demand and kept open.
// Every failure comes back as false plus a text; nothing is thrown.
class PosDB {
    Q_DECLARE_TR_FUNCTIONS(PosDB)
public:
    PosDB();
    virtual ~PosDB();

    bool openDB(QString& p_sError);
    bool openRecordset(const QString& p_sSQL, QSqlQuery& p_Query, QString& p_sError);

    bool excuteSQL(const QString& p_sSQL, QString& p_sError);
    // The query is handed to the caller, who deletes it.
    bool exexProc(const QString& p_sProcName, QString& p_sError, QSqlQuery*& p_pQuery);
    bool exexProcWithArgs(const QString& p_sProcName, QList<ProcParam>& p_Params, QString& p_sError,
                          QSqlQuery*& p_pQuery);

    // Recordsets kept under a key, for callers that walk several results at once.
    bool openRecordset(int p_nKey, const QString& p_sSQL, QString& p_sError);
    bool closeRecordset(int p_nKey);
    bool moveFirst(int p_nKey);
    bool movePrevious(int p_nKey);
    bool moveNext(int p_nKey);
    bool moveLast(int p_nKey);
    bool moveTo(int p_nKey, int p_nRow);
    int currentRow(int p_nKey);
    int recordCount(int p_nKey);

    QString getString(int p_nKey, const QString& p_sColumn);
    int getInt(int p_nKey, const QString& p_sColumn);
    double getDouble(int p_nKey, const QString& p_sColumn);
    QDateTime getDateTime(int p_nKey, const QString& p_sColumn);
    QByteArray getBytes(int p_nKey, const QString& p_sColumn);

    bool insertRecord(const QString& p_sTable, const QStringList& p_Columns, const QVariantList& p_Values,
                      QString& p_sError);
    // p_sWhere without the WHERE keyword; empty updates every row.
    bool updateRecord(const QString& p_sTable, const QStringList& p_Columns, const QVariantList& p_Values,
                      const QString& p_sWhere, QString& p_sError);
    static QString insertText(const QString& p_sTable, const QStringList& p_Columns,
                              const QStringList& p_Values);
    bool exexCall(const QString& p_sProcName, const QVariantList& p_Args, QString& p_sError);

    bool beginTrans();
    bool commitTrans();
    bool rollbackTrans();

    QDateTime getServerDate();
    bool isOpen() const;
    void close();

    // A text value made safe to stand between the quotes of a literal in this
    // connection's dialect: quotes doubled everywhere, and backslashes doubled for
    // MySQL/MariaDB, which read them as escapes. An ordinary value comes back unchanged.
    QString quoteText(const QString& p_sText) const;

    QString connectionName() const { return m_sConnName; }
    QString dbType() const { return m_sDbType; }
    bool openFailed() const { return m_bOpenFailed; }

private:
    bool createConnection(QString& p_sError);
    bool openByType(QString& p_sError);
    bool readAccessLink(QString& p_sFile) const;
    static QString inAppDir(const QString& p_sFile, const QString& p_sSeparators);
    QSqlQuery* activeRecordset(int p_nKey) const;
    QVariant value(int p_nKey, const QString& p_sColumn);
    // Starts an operation's error text "函数:<func>||执行:<what>||"; false, with
    // " DataBase is not opened!" appended, when the connection is not open.
    bool startOperation(const QString& p_sFunc, const QString& p_sWhat, QString& p_sError) const;
    bool runPrepared(const QString& p_sFunc, const QString& p_sSQL, const QStringList& p_Names,
                     const QVariantList& p_Values, QString& p_sError);

    QMap<int, QSqlQuery*> m_Recordsets;
    QSqlDatabase* m_pDB = nullptr;
    QString m_sConnName;
    QString m_sDbType;
    bool m_bOpenFailed = false;
    QString m_sCfgType;
    QString m_sServer;
    QString m_sDbName;
    QString m_sUser;
    QString m_sPassword;
    int m_nPort = 0;
};
