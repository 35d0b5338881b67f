#pragma once

// The host around the plug-in for the fuzz targets: one application object, one
// working directory with the settings files and a small member table, one
// controller for the whole run, and a cashier who answers every dialog at once.
//
// A finding is reported by abort(): libFuzzer then stores the input as a crash.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class Controller;

namespace fuzzhost {

enum class CashierMode {
    // Backs out of every dialog at once (the message box is confirmed, there is no
    // other way out of it).
    Dismiss,
    // Goes along: types a member code, a password, an amount or a coupon, picks a
    // member, confirms the coupon dialog and the sign-in on the management screen.
    Confirm,
};

struct Setup {
    // Config/HttpAddress of the till.
    QString crmAddress = QStringLiteral("http://127.0.0.1:1");
    // Config/SigninTime: empty means the first member call of every input signs in.
    QString signinTime;
    CashierMode cashier = CashierMode::Dismiss;
};

// Once, from LLVMFuzzerInitialize: application object and the cashier's choices; the
// working directory, settings, member table and controller follow at the first input.
void Start(int* argc, char*** argv, const Setup& setup);

Controller& Ctl();
QString WorkPath(const QString& name);

// Between inputs: keeps the operation log small and puts back the settings a sign-in
// may have rewritten, so that every input starts from the same till.
void NextInput();

// Choices for the confirming cashier, taken from the input so that the fuzzer can
// steer them: which member row to pick, whether to add and clear a second coupon.
void SetCashierChoices(unsigned flags);
constexpr unsigned kPickSecondRow = 1u << 1;
constexpr unsigned kSecondCoupon = 1u << 2;

// Prints a call's result when ZOVORDA_FUZZ_TRACE is set (for looking at seeds).
void Trace(const QByteArray& json);

// Findings.
[[noreturn]] void Fail(const char* what, const QString& detail = QString());
// The result text of an exported call: one JSON object, the code one of the two.
QJsonObject CheckResult(const QByteArray& json, const char* codeKey, const char* msgKey);
// Every dialog the call opened is closed again when it returns.
void CheckNoDialogOpen();

// The members of the local table: card number, mobile, member id, name.
struct LocalMember {
    const char* cardno;
    const char* mobile;
    const char* memberId;
    const char* name;
    const char* status;
};
extern const LocalMember kLocalMembers[];
extern const int kLocalMemberCount;

} // namespace fuzzhost
