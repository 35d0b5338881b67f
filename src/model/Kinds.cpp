#include "model/Kinds.h"

namespace Kinds {

RequestType requestType(const QString& text) {
    if (text == QLatin1String("50"))
        return RequestType::Verify;
    if (text == QLatin1String("63"))
        return RequestType::Settle;
    if (text == QLatin1String("78"))
        return RequestType::Manage;
    return RequestType::Unknown;
}

PayType payType(const QString& text) {
    if (text == QLatin1String("J"))
        return PayType::Points;
    if (text == QLatin1String("Q"))
        return PayType::Coupons;
    return PayType::Other;
}

TxnType txnType(const QString& text) {
    if (text == QLatin1String("SALE"))
        return TxnType::Sale;
    if (text == QLatin1String("REFUND"))
        return TxnType::Refund;
    if (text == QLatin1String("CANCEL"))
        return TxnType::Cancel;
    return TxnType::Other;
}

CouponUse couponUse(const QString& text) {
    if (text == QLatin1String("0"))
        return CouponUse::NotUsable;
    if (text == QLatin1String("1"))
        return CouponUse::Usable;
    if (text == QLatin1String("2"))
        return CouponUse::SetRefused;
    return CouponUse::Other;
}

} // namespace Kinds
