#include "crm/CrmClient.h"

#include "config/Settings.h"
#include "log/PayLogger.h"
#include "ui/Cashier.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

CrmClient::CrmClient(Cashier& cashier, const PayLogger& log)
    : m_cashier(cashier), m_log(log), m_journal(log.logDir()) {
    // finished() reaches the GUI thread as a queued call, so a worker that is done
    // before the loop starts still ends it.
    QObject::connect(&m_worker, &QThread::finished, &m_loop, &QEventLoop::quit);
}

CrmReply CrmClient::call(const QString& txCode, const QString& step, const QJsonObject& body,
                         const CrmReplyTexts& texts) {
    return exchange(txCode, step, QJsonDocument(body).toJson(QJsonDocument::Compact), texts);
}

CrmReply CrmClient::exchange(const QString& txCode, const QString& step, const QByteArray& request,
                             const CrmReplyTexts& texts) {
    m_log.write(step, request);

    // The busy screen must be on screen before the exchange starts, so it is painted
    // at once rather than at the next turn of the event loop.
    m_cashier.showBusy(tr("请稍等，处理中..."));
    m_worker.setRequest(txCode, request);
    m_worker.start(QThread::InheritPriority);
    // While the worker waits for the CRM, this thread would only wait with it.
    m_journal.checkpointWhenDue();
    m_loop.exec();
    m_worker.wait();
    m_cashier.hideBusy();
    if (!m_worker.rejectedTimeOut().isNull())
        m_log.write(tr("超时设置无效"), tr("TimeOut=%1，按默认%2秒处理")
                                            .arg(m_worker.rejectedTimeOut())
                                            .arg(Settings::kDefaultTimeOutSeconds));

    if (!m_worker.succeeded()) {
        m_log.write(tr("调用失败"), m_worker.error());
        return CrmReply::exchangeFailed(m_worker.error());
    }
    m_log.write(tr("调用成功"), m_worker.reply());
    return CrmReply::read(m_worker.reply(), texts);
}

CrmReply CrmClient::moveMoney(TenderJournal::Entry entry, const QString& step, const QJsonObject& body,
                              const CrmReplyTexts& texts) {
    return moveMoney(std::move(entry), step, QJsonDocument(body).toJson(QJsonDocument::Compact), texts);
}

CrmReply CrmClient::moveMoney(TenderJournal::Entry entry, const QString& step, const QByteArray& body,
                              const CrmReplyTexts& texts) {
    entry.at = QDateTime::currentDateTime();
    entry.request = body;
    const qint64 row = m_journal.begin(entry);
    if (row == 0)
        m_log.write(tr("交易流水写入失败"), m_journal.error());
    const CrmReply reply = exchange(entry.txCode, step, entry.request, texts);
    if (row != 0 && !m_journal.end(row, journalOutcome(reply), reply.error()))
        m_log.write(tr("交易流水写入失败"), m_journal.error());
    return reply;
}

TenderJournal::Outcome CrmClient::journalOutcome(const CrmReply& reply) const {
    if (reply.accepted())
        return TenderJournal::Outcome::Accepted;
    if (reply.refusedByCrm())
        return TenderJournal::Outcome::Refused;
    // No answer came back, or none the till could read a decision from.
    return m_worker.sent() ? TenderJournal::Outcome::Unknown : TenderJournal::Outcome::NotSent;
}
