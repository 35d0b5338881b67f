// The tender call as the host makes it: the input holds TranHead, TranPlu and
// UdpIn1 separated by zero bytes (the host passes three C strings, so no text can
// hold one itself). The CRM is out of reach and the cashier backs out of every
// dialog, so only a coupon refund, which needs no CRM, can succeed.

#include "FuzzHost.h"

#include "api/ResultFrame.h"
#include "core/ZoVORDACtl.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace fuzzhost;

namespace {

// The next text of the input, up to its zero byte or the end.
std::string nextText(const uint8_t*& p, const uint8_t* end) {
    const uint8_t* start = p;
    while (p < end && *p)
        ++p;
    std::string text(reinterpret_cast<const char*>(start), size_t(p - start));
    if (p < end)
        ++p;
    return text;
}

void checkCouponRefund(ZoVORDACtl& ctl, const QJsonObject& r, const QString& p_sAll) {
    const QJsonArray details = r.value(QStringLiteral("PayDetails")).toArray();
    if (details.isEmpty() || details.size() != ctl.couponList.size())
        Fail("coupon refund without one detail per coupon", p_sAll);
    for (const QJsonValue& v : details) {
        const QJsonObject d = v.toObject();
        if (d.value(QStringLiteral("ChildPayCode")).toString() != ctl.tenderRec.pay_code)
            Fail("refunded coupon of another tender", p_sAll);
        if (d.value(QStringLiteral("AmountTotal")) != d.value(QStringLiteral("ActualTotal")))
            Fail("coupon detail amounts differ", p_sAll);
        // What this refund transaction already gave back is not given back twice.
        for (const OriPayRec& now : qAsConst(ctl.oriPaysNow)) {
            if (now.payno == d.value(QStringLiteral("CardNo")).toString())
                Fail("coupon refunded twice", p_sAll);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    Start(argc, argv, Setup());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NextInput();
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    const std::string head = nextText(p, end);
    const std::string plu = nextText(p, end);
    const std::string udp = nextText(p, end);
    ZoVORDACtl& ctl = Ctl();

    const QByteArray result = ResultFrame::CardTrans(ctl, head.c_str(), plu.c_str(), udp.c_str());
    Trace(result);
    CheckNoDialogOpen();
    const QJsonObject r = CheckResult(result, "RtnCode", "RtnMsg");
    const QString all = QString::fromUtf8(result) + QStringLiteral("\nTranHead: ") +
                        QString::fromUtf8(head.c_str()) + QStringLiteral("\nTranPlu: ") +
                        QString::fromUtf8(plu.c_str()) + QStringLiteral("\nUdpIn1: ") +
                        QString::fromUtf8(udp.c_str());

    for (const char* k : {"AmountTotal", "ActualTotal", "CardNo", "MchOrderNo", "OtherInfo"}) {
        if (!r.contains(QLatin1String(k)))
            Fail("tender result without a key it always carries", QLatin1String(k) + QLatin1Char('\n') + all);
    }
    if (r.value(QStringLiteral("AmountTotal")) != r.value(QStringLiteral("ActualTotal")))
        Fail("AmountTotal and ActualTotal differ", all);
    const bool coupons = ctl.tenderRec.pay_type == QLatin1String("Q");
    if (r.contains(QStringLiteral("PayDetails")) != coupons)
        Fail("PayDetails present for another tender, or missing for coupons", all);

    const bool known = coupons || ctl.tenderRec.pay_type == QLatin1String("J");
    const QString& txn = ctl.tenderRec.txn_type;
    const bool maySayNothing = !known && (txn == QLatin1String("SALE") || txn == QLatin1String("REFUND"));
    if (r.value(QStringLiteral("RtnCode")) == QLatin1String("000000")) {
        // A sale or refund of an unknown tender fails without a word; everything else says why.
        if (!maySayNothing && r.value(QStringLiteral("RtnMsg")).toString().isEmpty())
            Fail("failure without a message", all);
        return 0;
    }
    if (!coupons || txn != QLatin1String("REFUND"))
        Fail("success without the CRM", all);
    checkCouponRefund(ctl, r, all);
    return 0;
}
