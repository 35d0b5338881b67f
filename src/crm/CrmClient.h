#pragma once
#include "crm/CrmReply.h"
#include "crm/CrmWorker.h"
#include "log/TenderJournal.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>

class Cashier;
class PayLogger;
class QJsonObject;

// The CRM as the operations see it: a request body goes out under its transaction
// code and comes back as a reply read in the common order. The busy screen covers
// the till meanwhile; the exchange itself runs on a worker thread while the GUI
// thread keeps painting. One exchange at a time.
class CrmClient {
    Q_DECLARE_TR_FUNCTIONS(CrmClient)
public:
    CrmClient(Cashier& cashier, const PayLogger& log);

    // Logs the body under step, exchanges it and logs how the exchange went.
    CrmReply call(const QString& txCode, const QString& step, const QJsonObject& body,
                  const CrmReplyTexts& texts);
    // The same for a request that moves money or points (entry: its transaction code,
    // order, member and amount): the tender journal records it before it goes out and
    // its outcome when the exchange ends. A journal that cannot be written is logged
    // and changes nothing else.
    CrmReply moveMoney(TenderJournal::Entry entry, const QString& step, const QJsonObject& body,
                       const CrmReplyTexts& texts);
    // The same for a body already written as compact JSON text (UTF-8).
    CrmReply moveMoney(TenderJournal::Entry entry, const QString& step, const QByteArray& body,
                       const CrmReplyTexts& texts);

private:
    CrmReply exchange(const QString& txCode, const QString& step, const QByteArray& request,
                      const CrmReplyTexts& texts);
    TenderJournal::Outcome journalOutcome(const CrmReply& reply) const;

    Cashier& m_cashier;
    const PayLogger& m_log;
    CrmWorker m_worker;
    QEventLoop m_loop;
    TenderJournal m_journal;
};
