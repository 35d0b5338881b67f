#include "db/MemberStore.h"

#include "db/PosDB.h"
#include "log/PayLogger.h"

#include <QRegularExpression>
#include <QSqlQuery>

// When the CRM is out of reach the member is looked up in the till's own copy of the
// member table. The shape of the key tells what the cashier scanned or typed: 11
// digits are a mobile number, 16 digits the CRM's member id, any other run of digits
// a card number, and everything else (a letter, a blank, Chinese) a member's name.
MemberStore::MemberStore(PosDB& db, const PayLogger& log) : m_db(db), m_log(log) {}

Outcome MemberStore::find(const QString& p_sKey, QList<MemberRec>& p_Candidates) {
    p_Candidates.clear();
    QString p_sError;
    if (!m_db.openDB(p_sError))
        return Outcome::failed(tr("本地查询会员信息失败：") + p_sError);

    // Whole key, up to its very end: a scanner's trailing line feed makes it a name.
    static const QRegularExpression digitsOnly(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    QString column = QStringLiteral("member_name");
    if (digitsOnly.match(p_sKey).hasMatch()) {
        if (p_sKey.size() == 11)
            column = QStringLiteral("mobile");
        else if (p_sKey.size() == 16)
            column = QStringLiteral("member_id");
        else
            column = QStringLiteral("cardno");
    }
    // The key goes into the literal as typed; quoting keeps a quote or backslash in a
    // name from ending the literal, and leaves an ordinary key untouched.
    const QString sql =
        QStringLiteral("select member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,"
                       "address from t_member where ") +
        column + QStringLiteral("='") + m_db.quoteText(p_sKey) + QStringLiteral("' and status='1'");
    m_log.write(QStringLiteral("执行离线查询会员"), sql);

    QSqlQuery query;
    if (!m_db.openRecordset(sql, query, p_sError))
        return Outcome::failed(tr("本地查询会员信息失败：") + p_sError);
    while (query.next()) {
        // The local table knows no points: score, balance and the point accounts stay empty.
        MemberRec member;
        member.memberId = query.value(QStringLiteral("member_id")).toString();
        member.cardNo = query.value(QStringLiteral("cardno")).toString();
        member.gradeCode = query.value(QStringLiteral("grade_level")).toString();
        member.gradeName = query.value(QStringLiteral("grade_name")).toString();
        member.name = query.value(QStringLiteral("member_name")).toString();
        member.birthday = query.value(QStringLiteral("birthday")).toString();
        member.mobile = query.value(QStringLiteral("mobile")).toString();
        member.address = query.value(QStringLiteral("address")).toString();
        p_Candidates.append(member);
    }
    m_log.write(QStringLiteral("查询结束"),
                tr("查询结果：") + QString::number(p_Candidates.size()) + tr("条"));
    return Outcome::done();
}
