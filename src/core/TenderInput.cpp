#include "core/Formats.h"
#include "core/ZoVORDACtl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QtMath>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("ZoVORDACtl", text);
}

// Parses a JSON object; the two messages tell a broken text from one that is not an object.
bool parseObject(const QString& text, const QString& brokenMsg, const QString& notObjectMsg, QVariantMap& out,
                 QString& error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = brokenMsg;
        return false;
    }
    if (!doc.isObject()) {
        error = notObjectMsg;
        return false;
    }
    out = doc.object().toVariantMap();
    return true;
}

bool takeRequired(const QVariantMap& in, const QString& key, QString& value, QString& error) {
    if (!in.contains(key)) {
        error = key + tr("参数传入不全");
        return false;
    }
    value = in.value(key).toString();
    return true;
}

// An amount must be there and not round to zero at two decimals; it is kept
// without sign (a refund's amounts arrive negative from some hosts).
bool takeAmount(const QVariantMap& in, const QString& key, const QString& zeroMsg, double& value,
                QString& error) {
    if (!in.contains(key)) {
        error = key + tr("参数传入不全");
        return false;
    }
    value = qAbs(in.value(key).toDouble());
    if (Formats::IsZeroMoney(value)) {
        error = zeroMsg;
        return false;
    }
    return true;
}

// Reads the payment lines of a refund's original sale (or of the refund itself).
bool takePayLines(const QVariantMap& in, const QString& key, QList<OriPayRec>& lines, QString& error) {
    if (!in.contains(key)) {
        error = tr("无支付信息");
        return false;
    }
    for (const QVariant& item : in.value(key).toList()) {
        const QVariantMap line = item.toMap();
        if (!line.contains(QStringLiteral("code"))) {
            error = tr("支付编码参数不完整");
            return false;
        }
        if (!line.contains(QStringLiteral("name"))) {
            error = tr("支付名称参数不完整");
            return false;
        }
        for (const char* k : {"pay_amt", "payno", "extranno"}) {
            if (!line.contains(QLatin1String(k))) {
                error = tr("支付金额参数不完整");
                return false;
            }
        }
        OriPayRec rec;
        rec.pay_amt = line.value(QStringLiteral("pay_amt")).toString();
        rec.code = line.value(QStringLiteral("code")).toString();
        rec.name = line.value(QStringLiteral("name")).toString();
        rec.payno = line.value(QStringLiteral("payno")).toString();
        rec.extranno = line.value(QStringLiteral("extranno")).toString();
        lines.append(rec);
    }
    return true;
}

} // namespace

bool ZoVORDACtl::ParseTenderInput(const QString& p_sTranHead, const QString& p_sTranPlu,
                                  const QString& p_sUdpIn1, QString& p_sError) {
    QVariantMap head;
    if (!parseObject(p_sTranHead, tr("TranHead解析错误"), tr("TranHead参数解析失败"), head, p_sError))
        return false;

    TenderRec t;
    static const struct {
        const char* key;
        QString TenderRec::*field;
    } kHeadTexts[] = {
        {"pay_type", &TenderRec::pay_type},     {"shop_code", &TenderRec::shop_code},
        {"pos_no", &TenderRec::pos_no},         {"oper_code", &TenderRec::oper_code},
        {"tr_bizdate", &TenderRec::tr_bizdate}, {"bill_no", &TenderRec::bill_no},
        {"sale_no", &TenderRec::sale_no},
    };
    for (const auto& f : kHeadTexts) {
        if (!takeRequired(head, QLatin1String(f.key), t.*f.field, p_sError))
            return false;
    }
    if (!head.contains(QStringLiteral("txn_type"))) {
        p_sError = tr("参数传入不全");
        return false;
    }
    t.txn_type = head.value(QStringLiteral("txn_type")).toString();
    if (t.txn_type == QLatin1String("REFUND")) {
        if (!takeRequired(head, QStringLiteral("oribill_no"), t.oribill_no, p_sError) ||
            !takeRequired(head, QStringLiteral("orisale_no"), t.orisale_no, p_sError))
            return false;
    }
    t.vip_cardno = head.value(QStringLiteral("vip_cardno")).toString();
    t.vip_cardid = head.value(QStringLiteral("vip_cardid")).toString();
    if (t.vip_cardno.isEmpty() || t.vip_cardid.isEmpty()) {
        p_sError = tr("未登录会员");
        return false;
    }
    t.vip_systype = head.value(QStringLiteral("vip_systype")).toString();
    if (!takeAmount(head, QStringLiteral("order_amount"), tr("订单金额不允许为0"), t.order_amount,
                    p_sError) ||
        !takeAmount(head, QStringLiteral("tr_amt"), tr("支付金额不允许为0"), t.tr_amt, p_sError) ||
        !takeRequired(head, QStringLiteral("pay_code"), t.pay_code, p_sError) ||
        !takeRequired(head, QStringLiteral("pay_name"), t.pay_name, p_sError))
        return false;
    tenderRec = t;

    // "{}" and the like: a tender always has products.
    if (p_sTranPlu.size() <= 2) {
        p_sError = tr("无商品明细");
        return false;
    }
    QVariantMap plu;
    if (!parseObject(p_sTranPlu, tr("商品参数解析错误"), tr("商品参数解析失败"), plu, p_sError))
        return false;
    if (!plu.contains(QStringLiteral("plu"))) {
        p_sError = tr("plu参数传入不全");
        return false;
    }
    goodsLines = plu.value(QStringLiteral("plu")).toList();

    if (t.txn_type != QLatin1String("REFUND") || t.pay_type != QLatin1String("Q"))
        return true;

    // A coupon refund needs the payment lines of the original sale.
    if (p_sUdpIn1.isEmpty()) {
        p_sError = tr("无原单支付信息，仅原单可退");
        return false;
    }
    QVariantMap pays;
    if (!parseObject(p_sUdpIn1, tr("支付参数解析错误"), tr("支付参数解析失败"), pays, p_sError))
        return false;
    return takePayLines(pays, QStringLiteral("pays"), oriPays, p_sError) &&
           takePayLines(pays, QStringLiteral("paysnow"), oriPaysNow, p_sError);
}
