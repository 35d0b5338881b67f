#include "core/Formats.h"
#include "core/ZoVORDACtl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QtMath>

namespace {

// Reads a required text field; false (with "<key>参数传入不全") when it is absent.
bool takeRequired(const QVariantMap& in, const QString& key, QString& value, QString& error) {
    if (!in.contains(key)) {
        error = key + QCoreApplication::translate("ZoVORDACtl", "参数传入不全");
        return false;
    }
    value = in.value(key).toString();
    return true;
}

} // namespace

bool ZoVORDACtl::HandleVipRequest(const QString& p_sTranVipIn, QString& p_sError) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(p_sTranVipIn.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        p_sError = tr("TranVipIn参数解析错误");
        return false;
    }
    if (!doc.isObject()) {
        p_sError = tr("TranVipIn参数解析失败");
        return false;
    }
    const QVariantMap in = doc.object().toVariantMap();
    if (!takeRequired(in, QStringLiteral("reqtype"), reqtype, p_sError))
        return false;

    if (reqtype == QLatin1String("50")) {
        QString storeId, stationId, operatorId, businessDate, bizType;
        if (!takeRequired(in, QStringLiteral("store_id"), storeId, p_sError) ||
            !takeRequired(in, QStringLiteral("station_id"), stationId, p_sError) ||
            !takeRequired(in, QStringLiteral("operator_id"), operatorId, p_sError) ||
            !takeRequired(in, QStringLiteral("business_date"), businessDate, p_sError) ||
            !takeRequired(in, QStringLiteral("biztype"), bizType, p_sError))
            return false;

        QString code, cardId, key;
        if (in.contains(QStringLiteral("code"))) {
            code = in.value(QStringLiteral("code")).toString();
            if (!takeRequired(in, QStringLiteral("cardid"), cardId, p_sError))
                return false;
            key = cardId.isEmpty() ? code : cardId;
        } else {
            // The host sent no code: the cashier types or scans it.
            if (memberLogin.Exec(tr("会员验证"), QString()) == 0) {
                p_sError = QStringLiteral("CLOSE");
                return false;
            }
            code = memberLogin.m_sInput;
            key = code;
        }
        memberRec.store_id = storeId;
        memberRec.station_id = stationId;
        memberRec.operator_id = operatorId;
        memberRec.business_date = businessDate;
        memberRec.inputCode = code;
        memberRec.inputCardId = cardId;

        // A failed sign-in does not stop the verification: the old token may still
        // be good, and the CRM will say so if it is not.
        QString signinError;
        SigninIfNeeded(storeId, signinError);

        if (!VerifyMember(key, p_sError))
            return false;
        return ConfirmPassword(bizType, p_sError);
    }

    if (reqtype == QLatin1String("63")) {
        static const char* const kHead[] = {"store_id",   "station_id", "operator_id",    "business_date",
                                            "pos_saleno", "pos_billno", "pos_salebgntime"};
        QStringList head;
        for (const char* key : kHead) {
            QString value;
            if (!takeRequired(in, QLatin1String(key), value, p_sError))
                return false;
            head.append(value);
        }
        const QString code = in.value(QStringLiteral("code")).toString();
        const QString vipCardId = in.value(QStringLiteral("vipcardid")).toString();
        QString saleType;
        if (!takeRequired(in, QStringLiteral("sale_type"), saleType, p_sError))
            return false;
        if (!in.contains(QStringLiteral("amount"))) {
            p_sError = tr("amount参数传入不全");
            return false;
        }
        // The order amount goes to the CRM without sign; a return is told by its sale type.
        const QString amount = Formats::Money(qAbs(in.value(QStringLiteral("amount")).toDouble()));
        if (amount == QLatin1String("0.00")) {
            p_sError = tr("订单金额不允许为0");
            return false;
        }
        OrderRec& o = orderRec;
        o.store_id = head[0];
        o.station_id = head[1];
        o.operator_id = head[2];
        o.business_date = head[3];
        o.pos_saleno = head[4];
        o.pos_billno = head[5];
        o.code = code;
        o.vipcardid = vipCardId;
        o.sale_type = saleType;
        o.pos_salebgntime = head[6];

        o.emp_id = in.value(QStringLiteral("emp_id")).toString();
        if (!takeRequired(in, QStringLiteral("biztype"), o.biztype, p_sError))
            return false;
        o.sourcebillno = in.value(QStringLiteral("sourcebillno")).toString();
        if (!takeRequired(in, QStringLiteral("plucounttotal"), o.plucounttotal, p_sError) ||
            !takeRequired(in, QStringLiteral("shouldtotal"), o.shouldtotal, p_sError) ||
            !takeRequired(in, QStringLiteral("actualtotal"), o.actualtotal, p_sError))
            return false;
        if (saleType == QLatin1String("return")) {
            o.old_pos_saleno = in.value(QStringLiteral("old_pos_saleno")).toString();
            o.old_pos_billno = in.value(QStringLiteral("old_pos_billno")).toString();
        }
        o.amount = amount;

        if (!in.contains(QStringLiteral("products"))) {
            p_sError = tr("products参数传入不全");
            return false;
        }
        if (!in.contains(QStringLiteral("pays"))) {
            p_sError = tr("pays参数传入不全");
            return false;
        }
        goodsLines = in.value(QStringLiteral("products")).toList();
        settlePays = in.value(QStringLiteral("pays")).toList();
        return SettleOrder(p_sError);
    }

    if (reqtype == QLatin1String("78")) {
        memberManage.Exec();
        if (memberManage.m_nChoice != 1) {
            p_sError = QStringLiteral("CLOSE");
            return false;
        }
        QString storeId;
        if (!takeRequired(in, QStringLiteral("store_id"), storeId, p_sError))
            return false;
        WriteLog(tr("会员管理"), tr("强制进行签到"));
        if (!Signin(storeId, p_sError))
            return false;
        ShowMessage(tr("签到成功"));
        return true;
    }

    p_sError = tr("交易类型错误");
    return false;
}

bool ZoVORDACtl::ConfirmPassword(const QString& p_sBizType, QString& p_sError) {
    // Only some business types (3 and 6) need the member to prove the account is his.
    if (p_sBizType != QLatin1String("3") && p_sBizType != QLatin1String("6"))
        return true;
    for (int attempt = 1; attempt <= 10; ++attempt) {
        if (CheckMemberPassword(p_sError))
            return true;
        if (p_sError == QLatin1String("CLOSE"))
            return false;
        ShowMessage(p_sError);
    }
    return false;
}
