#include "crm/CrmClient.h"

#include "config/Settings.h"
#include "log/PayLogger.h"
#include "ui/Cashier.h"

#include <QJsonDocument>
#include <QJsonObject>

CrmClient::CrmClient(Cashier& cashier, const PayLogger& log) : m_cashier(cashier), m_log(log) {
    // finished() reaches the GUI thread as a queued call, so a worker that is done
    // before the loop starts still ends it.
    QObject::connect(&m_worker, &QThread::finished, &m_loop, &QEventLoop::quit);
}

CrmReply CrmClient::call(const QString& txCode, const QString& step, const QJsonObject& body,
                         const CrmReplyTexts& texts) {
    return call(txCode, step, QJsonDocument(body).toJson(QJsonDocument::Compact), texts);
}

CrmReply CrmClient::call(const QString& txCode, const QString& step, const QByteArray& body,
                         const CrmReplyTexts& texts) {
    const QString request = QString::fromUtf8(body);
    m_log.write(step, request);

    // The busy screen must be on screen before the exchange starts, so it is painted
    // at once rather than at the next turn of the event loop.
    m_cashier.showBusy(tr("请稍等，处理中..."));
    m_worker.setRequest(txCode, request);
    m_worker.start(QThread::InheritPriority);
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
