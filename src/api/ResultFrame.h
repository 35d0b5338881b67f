#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QString>

class ZoVORDACtl;

// The result code and message of the current exported call.
extern QString resultCode;
extern QString resultMsg;

// The frame around one exported call: reset, decode and log the host's texts, run
// the request, and turn the outcome into the result JSON (UTF-8, no terminating
// zero). The exports copy it into the host's buffer.
namespace ResultFrame {

// The largest result, terminating zero included, that the library writes into the
// host's buffer. A result that would be longer is replaced by a short failure.
constexpr int MaxResultBytes = 64 * 1024;

QByteArray VipTrans(ZoVORDACtl& ctl, const char* p_TranVipIn);
QByteArray CardTrans(ZoVORDACtl& ctl, const char* p_TranHead, const char* p_TranPlu, const char* p_UdpIn1);

// The result objects built from resultCode, resultMsg and the controller's records.
// For the coupon tender CardResult also sets AmountTotal to the sum of the paid coupons.
QJsonObject VipResult(const ZoVORDACtl& ctl);
QJsonObject CardResult(ZoVORDACtl& ctl);

// Answers for a call that arrives while another one is still running (a host
// timer firing while a dialog is open): the running call is left untouched.
QByteArray VipBusy(ZoVORDACtl& ctl);
QByteArray CardBusy(ZoVORDACtl& ctl);

} // namespace ResultFrame
