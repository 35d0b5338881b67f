#pragma once
// The till's own member table (t_member), as the offline lookups meet it: the members
// the database suites load, the statement the store runs and logs for a lookup, the
// settings that point the till at a database, and the store itself. Header only: it
// reads the schema files under ZOVORDA_SOURCE_DIR.
#include "db/MemberStore.h"
#include "db/PosDB.h"
#include "log/PayLogger.h"
#include "model/MemberRec.h"
#include "support/MariaDbServer.h"
#include "support/WorkDir.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

namespace MemberTable {

// In front of every failure of a lookup in the member table.
inline const QString kFailed = QStringLiteral("本地查询会员信息失败：");

// The statement for a lookup of the literal (already quoted) in this column.
inline QString statement(const QString& column, const QString& literal) {
    return QStringLiteral(
               "select member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,address "
               "from t_member where %1='%2' and status='1'")
        .arg(column, literal);
}

// Creates t_member on the connection with db/<schema> and loads the members:
// card 8001 张三 (mobile 13800000001, member id 1000000000000001, with every column);
// 8002 李四 and 8003 王五, who share mobile 13800000002; 8009 and 8010 赵六, inactive
// (status 0 and 2); 8013 Alice without a status; 100000000012 O'Brien; 12345678901
// "Li\", a card number that looks like a mobile; 8014 😀会员.
inline bool fill(const QString& connection, const QString& schema, QString& error) {
    // member_id, cardno, grade_level, grade_name, member_name, birthday, mobile, address,
    // status ("NULL": none)
    static const QList<QStringList> members = {
        {"1000000000000001", "8001", "01", "金卡", "张三", "1980-01-02", "13800000001", "上海市人民路1号",
         "1"},
        {"1000000000000002", "8002", "02", "银卡", "李四", "1985-05-06", "13800000002", "", "1"},
        {"1000000000000003", "8003", "02", "银卡", "王五", "", "13800000002", "", "1"},
        {"1000000000000009", "8009", "01", "金卡", "赵六", "", "13800000009", "", "0"},
        {"1000000000000010", "8010", "01", "金卡", "赵六", "", "13800000010", "", "2"},
        {"1000000000000013", "8013", "01", "金卡", "Alice", "", "13800000013", "", "NULL"},
        {"1000000000000011", "100000000012", "02", "银卡", "O'Brien", "", "13800000011", "", "1"},
        {"1000000000000012", "12345678901", "02", "银卡", "Li\\", "", "13800000012", "", "1"},
        {"1000000000000014", "8014", "01", "金卡", "😀会员", "", "13800000014", "", "1"},
    };
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery insert(db);
    // Four-byte characters need the connection in utf8mb4 as well as the table.
    if (db.driverName() == QLatin1String("QMYSQL") && !insert.exec(QStringLiteral("SET NAMES utf8mb4"))) {
        error = insert.lastError().text();
        return false;
    }
    if (!runSqlScript(connection, QStringLiteral(ZOVORDA_SOURCE_DIR "/db/") + schema, error))
        return false;
    insert.prepare(QStringLiteral("insert into t_member(member_id,cardno,grade_level,grade_name,member_name,"
                                  "birthday,mobile,address,status) values(?,?,?,?,?,?,?,?,?)"));
    for (const QStringList& member : members) {
        for (int i = 0; i < member.size(); ++i)
            insert.bindValue(i, member.at(i) == QLatin1String("NULL") ? QVariant(QVariant::String)
                                                                      : member.at(i));
        if (!insert.exec()) {
            error = insert.lastError().text();
            return false;
        }
    }
    return true;
}

// The store as the till builds it, reading the settings of the working directory:
// make it after the working directory is set up.
struct Lookup {
    PosDB db;
    PayLogger log{QStringLiteral("ZoVORDA动态库")};
    MemberStore store{db, log};
};

// The card numbers of the members found, in order.
inline QStringList cards(const QList<MemberRec>& members) {
    QStringList codes;
    for (const MemberRec& member : members)
        codes << member.cardNo;
    return codes;
}

// Points config.ini and ZoVORDA.ini at a database; server and user are written when given.
inline void use(const WorkDir& dir, const QString& type, const QString& database,
                const QString& server = QString(), const QString& user = QString()) {
    QVariantMap config{{QStringLiteral("DataBase/DbType"), type}};
    if (!server.isNull())
        config.insert(QStringLiteral("DataBase/ServiceName"), server);
    if (!user.isNull())
        config.insert(QStringLiteral("DataBase/UserName"), user);
    dir.writeIni(QStringLiteral("config.ini"), config);
    dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/dbname"), database}});
}

} // namespace MemberTable
