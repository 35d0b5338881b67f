#pragma once
#include "model/MemberRec.h"
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

class PayLogger;
class PosDB;

// The till's own copy of the member table, asked when the CRM is out of reach.
class MemberStore {
    Q_DECLARE_TR_FUNCTIONS(MemberStore)
public:
    MemberStore(PosDB& db, const PayLogger& log);

    // The active members whose key matches: 11 digits a mobile number, 16 digits the
    // CRM's member id, other digits a card number, anything else a name. Failed with
    // "本地查询会员信息失败：" and the database's text.
    //
    // onlineFailure is why the CRM could not answer. The database layer adds its
    // "数据库打开失败！" to the text it is given, and where it has no text of its own (a
    // MySQL database without a name, an Access link file that cannot be read) the
    // cashier has always read "本地查询会员信息失败：<why online failed>数据库打开失败！".
    Outcome find(const QString& key, QList<MemberRec>& members, const QString& onlineFailure = QString());

private:
    PosDB& m_db;
    const PayLogger& m_log;
};
