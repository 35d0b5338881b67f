#include "core/ZoVORDACtl.h"

#include <QJsonDocument>
#include <QJsonObject>

bool ZoVORDACtl::CallCrm(const QString& p_sTxCode, const QString& p_sRequest, QString& p_sReply,
                         QString& p_sError) {
    // The overlay must be on screen before the exchange starts, so it is repainted
    // at once rather than at the next turn of the event loop.
    WaitWidget overlay;
    overlay.SetMessage(tr("请稍等，处理中..."));
    overlay.showFullScreen();
    overlay.repaint();

    waitThread.setRequest(p_sTxCode, p_sRequest);
    waitThread.start(QThread::InheritPriority);
    // finished() quits this loop; the GUI keeps painting and the overlay animating.
    // finished() reaches this thread as a queued call, so a thread that is done
    // before the loop starts still ends it.
    eventLoop.exec();
    waitThread.wait();

    const bool success = waitThread.isSuccess();
    overlay.close();
    if (success) {
        p_sReply = waitThread.replyText();
        WriteLog(tr("调用成功"), p_sReply);
    } else {
        p_sError = waitThread.errorText();
        WriteLog(tr("调用失败"), p_sError);
    }
    return success;
}

bool ZoVORDACtl::PostCrm(const QString& p_sTxCode, const QString& p_sStep, const QVariantMap& p_Body,
                         QString& p_sReply, QString& p_sError) {
    return PostCrm(p_sTxCode, p_sStep, QJsonObject::fromVariantMap(p_Body), p_sReply, p_sError);
}

bool ZoVORDACtl::PostCrm(const QString& p_sTxCode, const QString& p_sStep, const QJsonObject& p_Body,
                         QString& p_sReply, QString& p_sError) {
    const QString request = QString::fromUtf8(QJsonDocument(p_Body).toJson(QJsonDocument::Compact));
    WriteLog(p_sStep, request);
    return CallCrm(p_sTxCode, request, p_sReply, p_sError);
}
