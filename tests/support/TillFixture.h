#pragma once
// A till signed in at a scripted CRM: the simulator, a working directory set up for it
// and the controller, made in that order and gone in the reverse one. Suites make one
// afresh for each test (a std::unique_ptr reset in init() and cleanup()).
#include "CrmSim.h"
#include "api/ResultFrame.h"
#include "core/Controller.h"
#include "support/Columns.h"
#include "support/Requests.h"
#include "support/ScriptedCashier.h"
#include "support/WorkDir.h"
#include "ui/DialogCashier.h"

#include <QTest>

#include <memory>

struct TillFixture {
    crmsim::Server crm;
    WorkDir dir;
    // With a scripted cashier, this is it (owned by the controller); null with the real dialogs.
    ScriptedCashier* cashier = nullptr;
    Controller ctl;
    bool started;

    enum class Dialogs { Real, Scripted };
    explicit TillFixture(int timeoutSeconds = 5, Dialogs dialogs = Dialogs::Real)
        : ctl(makeCashier(dialogs)), started(crm.start()) {
        dir.configureTill(crm.baseUrl(), timeoutSeconds);
    }

    std::unique_ptr<Cashier> makeCashier(Dialogs dialogs) {
        if (dialogs == Dialogs::Real)
            return std::make_unique<DialogCashier>();
        auto scripted = std::make_unique<ScriptedCashier>();
        cashier = scripted.get();
        return scripted;
    }

    // ZoVORDA.ini's ExactAmounts=1 when on: the totals to the cent.
    void exactAmounts(bool on) const {
        if (on)
            dir.writeIni("ZoVORDA.ini", {{"Config/ExactAmounts", "1"}});
    }

    // Queues these JSON replies for the transaction, first in first out.
    void script(const QByteArray& txcode, const QByteArrayList& replies) {
        for (const QByteArray& r : replies)
            crm.enqueue(txcode, crmsim::Reply::json(r));
    }
    QStringList txcodes() const {
        QStringList codes;
        for (const crmsim::Request& r : crm.requests())
            codes.append(QString::fromLatin1(r.txcode));
        return codes;
    }
    QByteArrayList bodies(const QByteArray& txcode) const {
        QByteArrayList list;
        for (const crmsim::Request& r : crm.requests()) {
            if (r.txcode == txcode)
                list.append(r.body);
        }
        return list;
    }

    // The host's calls, as the till makes them.
    QByteArray card(const QJsonObject& head, const QJsonObject& plu = Requests::products(),
                    const QByteArray& udp = QByteArray()) {
        const QByteArray h = Requests::json(head), p = Requests::json(plu);
        return ResultFrame::tenderCall(ctl, h.constData(), p.constData(), udp.constData());
    }
    QByteArray vip(const QJsonObject& in) {
        return ResultFrame::memberCall(ctl, Requests::json(in).constData());
    }
};

// The base of suites whose operations meet a scripted cashier: a fresh till for each
// test, and whatever the script still expected reported when the test ends.
class ScriptedTillSuite : public QObject {
protected:
    std::unique_ptr<TillFixture> m_till;
    ScriptedCashier& cashier() { return *m_till->cashier; }
    void startTill() {
        QVERIFY((m_till = std::make_unique<TillFixture>(5, TillFixture::Dialogs::Scripted))->started);
    }
    void endTill() {
        if (m_till->cashier)
            VERIFY_SCRIPT(cashier());
        m_till.reset();
    }
};

// A tender's answer to the host; payDetails is the JSON array of what was paid, left out when null.
inline QByteArray cardResult(const QString& code, const QString& message, const QString& total,
                             const QString& payDetails = QString()) {
    const QString details = payDetails.isNull() ? QString() : R"("PayDetails":[)" + payDetails + "],";
    return QStringLiteral(R"({"ActualTotal":"%1","AmountTotal":"%1","CardNo":"","MchOrderNo":"",)"
                          R"("OtherInfo":"",%2"RtnCode":"%3","RtnMsg":"%4"})")
        .arg(total, details, code, message)
        .toUtf8();
}
