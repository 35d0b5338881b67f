#pragma once
#include <QString>

// The kinds of request the host sends, read once where its JSON comes in.

// "reqtype" of a member request.
enum class RequestType { Verify /*50*/, Settle /*63*/, Manage /*78*/, Unknown };
// "pay_type" of a tender: points or coupons.
enum class PayType { Points /*J*/, Coupons /*Q*/, Other };
// "txn_type" of a tender, compared exactly (a lower-case "sale" is no sale).
enum class TxnType { Sale, Refund, Cancel, Other };
// "useflag" of a coupon as the CRM decided it; a text the CRM may invent is Other.
enum class CouponUse { NotUsable /*0*/, Usable /*1*/, SetRefused /*2*/, Other };

namespace Kinds {
RequestType requestType(const QString& text);
PayType payType(const QString& text);
TxnType txnType(const QString& text);
CouponUse couponUse(const QString& text);
} // namespace Kinds
