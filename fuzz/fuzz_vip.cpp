// The member call as the host makes it: one TranVipIn text per input, the CRM out
// of reach (connection refused), the local member table as the only source of
// members, and a cashier who backs out of every dialog.

#include "FuzzHost.h"

#include "api/ResultFrame.h"
#include "core/Controller.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QVariantMap>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace fuzzhost;

namespace {

// Without the CRM a member is found only in the local table, and only by the column
// the shape of the key selects; a member found by anything else means the key has
// changed the statement.
void checkLocalMember(const QString& request, const QJsonObject& result) {
    const QVariantMap in = QJsonDocument::fromJson(request.toUtf8()).object().toVariantMap();
    if (!in.contains(QStringLiteral("code")))
        Fail("member found although the cashier closed the entry dialog", request);
    const QString cardId = in.value(QStringLiteral("cardid")).toString();
    const QString key = cardId.isEmpty() ? in.value(QStringLiteral("code")).toString() : cardId;

    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    QString field = QStringLiteral("name");
    if (digits.match(key).hasMatch())
        field = key.size() == 11   ? QStringLiteral("phone")
                : key.size() == 16 ? QStringLiteral("vipcardid")
                                   : QStringLiteral("code");
    const QString found = result.value(field).toString();
    if (found != key)
        Fail("local member does not match the key",
             QStringLiteral("key [%1], %2 [%3]\n").arg(key, field, found) + request);
    for (int i = 0; i < kLocalMemberCount; ++i) {
        const LocalMember& m = kLocalMembers[i];
        if (QLatin1String(m.status) != QLatin1String("1") &&
            result.value(QStringLiteral("code")) == QLatin1String(m.cardno))
            Fail("inactive local member found", request);
    }
    if (result.value(QStringLiteral("HasVipRight")) != QLatin1String("1") ||
        !result.value(QStringLiteral("JfRecord")).isArray())
        Fail("member result without HasVipRight or JfRecord", request);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    Start(argc, argv, Setup());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NextInput();
    // The host hands over a C string: whatever follows a zero byte never arrives.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const QByteArray result = ResultFrame::memberCall(Ctl(), input.c_str());
    Trace(result);
    CheckNoDialogOpen();
    const QJsonObject r = CheckResult(result, "rtncode", "rtnmsg");
    const QString request = QString::fromUtf8(input.c_str());

    if (r.value(QStringLiteral("rtncode")) == QLatin1String("000000")) {
        if (r.value(QStringLiteral("rtnmsg")).toString().isEmpty())
            Fail("failure without a message", request);
        if (r.size() != 2)
            Fail("failure carries member or order keys", QString::fromUtf8(result));
        return 0;
    }
    // Settling an order and signing in need the CRM; only a member lookup can succeed.
    if (!r.contains(QStringLiteral("vipcardid")))
        Fail("success without the CRM", QString::fromUtf8(result) + QLatin1Char('\n') + request);
    checkLocalMember(request, r);
    return 0;
}
