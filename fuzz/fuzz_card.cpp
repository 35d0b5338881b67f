// The tender call as the host makes it: the input holds TranHead, TranPlu and
// UdpIn1 separated by zero bytes (the host passes three C strings, so no text can
// hold one itself). The CRM is out of reach and the cashier backs out of every
// dialog, so only a coupon refund, which needs no CRM, can succeed.

#include "FuzzHost.h"

#include "api/ResultFrame.h"
#include "core/Controller.h"
#include "model/CallState.h"

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

void checkCouponRefund(const CallState& state, const QJsonObject& r, const QString& all) {
    const QJsonArray details = r.value(QStringLiteral("PayDetails")).toArray();
    if (details.isEmpty() || details.size() != state.coupons.size())
        Fail("coupon refund without one detail per coupon", all);
    for (const QJsonValue& v : details) {
        const QJsonObject d = v.toObject();
        if (d.value(QStringLiteral("ChildPayCode")).toString() != state.tender.payCode)
            Fail("refunded coupon of another tender", all);
        if (d.value(QStringLiteral("AmountTotal")) != d.value(QStringLiteral("ActualTotal")))
            Fail("coupon detail amounts differ", all);
        // What this refund transaction already gave back is not given back twice.
        for (const PayLineRec& now : state.tender.refundPays) {
            if (now.payNo == d.value(QStringLiteral("CardNo")).toString())
                Fail("coupon refunded twice", all);
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
    const QByteArray result = ResultFrame::tenderCall(Ctl(), head.c_str(), plu.c_str(), udp.c_str());
    const CallState& state = Ctl().state();
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
    const bool coupons = state.tender.payType == PayType::Coupons;
    if (r.contains(QStringLiteral("PayDetails")) != coupons)
        Fail("PayDetails present for another tender, or missing for coupons", all);

    const bool known = coupons || state.tender.payType == PayType::Points;
    const TxnType txn = state.tender.txnType;
    const bool maySayNothing = !known && (txn == TxnType::Sale || txn == TxnType::Refund);
    if (r.value(QStringLiteral("RtnCode")) == QLatin1String("000000")) {
        // A sale or refund of an unknown tender fails without a word; everything else says why.
        if (!maySayNothing && r.value(QStringLiteral("RtnMsg")).toString().isEmpty())
            Fail("failure without a message", all);
        return 0;
    }
    if (!coupons || txn != TxnType::Refund)
        Fail("success without the CRM", all);
    checkCouponRefund(state, r, all);
    return 0;
}
