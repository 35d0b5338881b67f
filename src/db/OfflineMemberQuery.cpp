#include "core/ZoVORDACtl.h"

#include <QRegularExpression>
#include <QSqlQuery>

// When the CRM is out of reach the member is looked up in the till's own copy of the
// member table. The shape of the key tells what the cashier scanned or typed: 11
// digits are a mobile number, 16 digits the CRM's member id, any other run of digits
// a card number, and everything else (a letter, a blank, Chinese) a member's name.
bool ZoVORDACtl::QueryMemberOffline(const QString& p_sKey, QList<MemberRec>& p_Candidates,
                                    QString& p_sError) {
    p_Candidates.clear();
    if (!posDB.openDB(p_sError)) {
        p_sError = tr("本地查询会员信息失败：") + p_sError;
        return false;
    }

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
        column + QStringLiteral("='") + posDB.quoteText(p_sKey) + QStringLiteral("' and status='1'");
    WriteLog(QStringLiteral("执行离线查询会员"), sql);

    QSqlQuery query;
    if (!posDB.openRecordset(sql, query, p_sError)) {
        p_sError = tr("本地查询会员信息失败：") + p_sError;
        return false;
    }
    while (query.next()) {
        // The local table knows no points: score, balance and the point accounts stay empty.
        MemberRec member;
        member.vipcardid = query.value(QStringLiteral("member_id")).toString();
        member.code = query.value(QStringLiteral("cardno")).toString();
        member.type_code = query.value(QStringLiteral("grade_level")).toString();
        member.type_name = query.value(QStringLiteral("grade_name")).toString();
        member.name = query.value(QStringLiteral("member_name")).toString();
        member.birthday = query.value(QStringLiteral("birthday")).toString();
        member.phone = query.value(QStringLiteral("mobile")).toString();
        member.address = query.value(QStringLiteral("address")).toString();
        p_Candidates.append(member);
    }
    WriteLog(QStringLiteral("查询结束"), tr("查询结果：") + QString::number(p_Candidates.size()) + tr("条"));
    return true;
}
