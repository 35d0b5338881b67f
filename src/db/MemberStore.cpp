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
// The columns come in the order the statement below names them.
MemberRec memberFrom(const QSqlQuery& row) {
    MemberRec member;
    member.memberId = row.value(0).toString();
    member.cardNo = row.value(1).toString();
    member.gradeCode = row.value(2).toString();
    member.gradeName = row.value(3).toString();
    member.name = row.value(4).toString();
    member.birthday = row.value(5).toString();
    member.mobile = row.value(6).toString();
    member.address = row.value(7).toString();
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
    // name from ending the literal, and leaves an ordinary key untouched. Where the
    // database keeps the statement prepared, the key is bound instead.
    const QString head = QStringLiteral("select member_id,cardno,grade_level,grade_name,member_name,birthday,"
                                        "mobile,address from t_member where ") +
                         columnFor(key);
    const QString tail = QStringLiteral(" and status='1'");
    const QString sql = head + QStringLiteral("='") + m_db.quoteText(key) + QLatin1Char('\'') + tail;
    m_log.write(QStringLiteral("执行离线查询会员"), sql);

    QSqlQuery query;
    if (!m_db.openRecordset(sql, head + QStringLiteral("=?") + tail, key, query, error))
        return Outcome::failed(tr("本地查询会员信息失败：") + error);
    while (query.next())
        members.append(memberFrom(query));
    query.finish();
    m_log.write(QStringLiteral("查询结束"), tr("查询结果：") + QString::number(members.size()) + tr("条"));
    return Outcome::done();
}
