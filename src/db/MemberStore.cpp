#include "db/MemberStore.h"

#include "db/PosDB.h"
#include "log/PayLogger.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QVariant>

namespace {

// The shape of the key tells what the cashier scanned or typed: 11 digits are a mobile
// number, 16 digits the CRM's member id, any other run of digits a card number, and
// everything else (a letter, a blank, Chinese) a member's name. The whole key counts,
// up to its very end: a scanner's trailing line feed makes it a name.
QString columnFor(const QString& key) {
    static const QRegularExpression digitsOnly(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    if (!digitsOnly.match(key).hasMatch())
        return QStringLiteral("member_name");
    if (key.size() == 11)
        return QStringLiteral("mobile");
    if (key.size() == 16)
        return QStringLiteral("member_id");
    return QStringLiteral("cardno");
}

// The local table knows no points: points, their cash and the point accounts stay empty.
MemberRec memberFrom(const QSqlQuery& row) {
    MemberRec member;
    member.memberId = row.value(QStringLiteral("member_id")).toString();
    member.cardNo = row.value(QStringLiteral("cardno")).toString();
    member.gradeCode = row.value(QStringLiteral("grade_level")).toString();
    member.gradeName = row.value(QStringLiteral("grade_name")).toString();
    member.name = row.value(QStringLiteral("member_name")).toString();
    member.birthday = row.value(QStringLiteral("birthday")).toString();
    member.mobile = row.value(QStringLiteral("mobile")).toString();
    member.address = row.value(QStringLiteral("address")).toString();
    return member;
}

} // namespace

MemberStore::MemberStore(PosDB& db, const PayLogger& log) : m_db(db), m_log(log) {}

Outcome MemberStore::find(const QString& key, QList<MemberRec>& members, const QString& onlineFailure) {
    members.clear();
    QString error = onlineFailure;
    if (!m_db.openDB(error))
        return Outcome::failed(tr("本地查询会员信息失败：") + error);

    // The key goes into the literal as typed; quoting keeps a quote or backslash in a
    // name from ending the literal, and leaves an ordinary key untouched.
    const QString sql = QStringLiteral("select member_id,cardno,grade_level,grade_name,member_name,birthday,"
                                       "mobile,address from t_member where ") +
                        columnFor(key) + QStringLiteral("='") + m_db.quoteText(key) +
                        QStringLiteral("' and status='1'");
    m_log.write(QStringLiteral("执行离线查询会员"), sql);

    QSqlQuery query;
    if (!m_db.openRecordset(sql, query, error))
        return Outcome::failed(tr("本地查询会员信息失败：") + error);
    while (query.next())
        members.append(memberFrom(query));
    m_log.write(QStringLiteral("查询结束"), tr("查询结果：") + QString::number(members.size()) + tr("条"));
    return Outcome::done();
}
