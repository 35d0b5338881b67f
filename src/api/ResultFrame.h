#pragma once
#include <QByteArray>

class Controller;
class PayLogger;
class QString;

// The frame around one exported call: begin the call, decode and log the host's
// texts, run the request, and turn the outcome and the records it left into the
// result JSON (UTF-8, no terminating zero), which is logged too. The exports copy
// it into the host's buffer.
namespace ResultFrame {

// The largest result, terminating zero included, that the library writes into the
// host's buffer. A result that would be longer is replaced by a short failure.
constexpr int MaxResultBytes = 64 * 1024;

QByteArray memberCall(Controller& controller, const char* tranVipIn);
QByteArray tenderCall(Controller& controller, const char* tranHead, const char* tranPlu, const char* udpIn1);

// Answers for a call that arrives while another one is still running (a host
// timer firing while a dialog is open): the running call is left untouched.
QByteArray busyMemberCall(const PayLogger& log);
QByteArray busyTenderCall(const PayLogger& log);

// Answers for a call the host must not make (before its QApplication exists, from a
// thread other than the application's, without a buffer for the answer): refused
// before anything else happens, and logged under step with the message.
QByteArray refusedMemberCall(const PayLogger& log, const QString& step, const QString& message);
QByteArray refusedTenderCall(const PayLogger& log, const QString& step, const QString& message);

} // namespace ResultFrame
