#include "member/DeviceSignin.h"

#include "config/Settings.h"
#include "crm/CrmClient.h"
#include "log/PayLogger.h"
#include "member/RunningPrograms.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QProcess>

DeviceSignin::DeviceSignin(CrmClient& crm, const PayLogger& log) : m_crm(crm), m_log(log) {}

Outcome DeviceSignin::signin(const QString& storeId, QString& shopId) {
    const QString deviceId = Settings::deviceId();
    if (deviceId.isEmpty())
        return Outcome::failed(tr("未配置设备编码"));
    const QString password = Settings::signinPassword();
    if (password.isEmpty())
        return Outcome::failed(tr("未配置签到密码"));
    const QJsonObject body{{QStringLiteral("serial_num"), storeId},
                           {QStringLiteral("device_id"), deviceId},
                           {QStringLiteral("entry_pwd"), password}};
    const CrmReply reply = m_crm.call(QStringLiteral("sig999"), tr("会员签到"), body,
                                      CrmReplyTexts::of(CrmReplyTexts::Of::Signin));
    if (!reply.accepted())
        return reply.outcome();
    Reply read;
    const Outcome outcome = readReply(reply.data(), storeId, read);
    QString error;
    if (read.token && !Settings::saveToken(*read.token, &error))
        m_log.write(tr("保存签到结果"), tr("ZoVORDA.ini写入失败：") + error);
    if (!outcome.isDone())
        return outcome;
    shopId = read.shopId;
    if (!Settings::saveSignin(
            shopId, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), &error))
        m_log.write(tr("保存签到结果"), tr("ZoVORDA.ini写入失败：") + error);
    return Outcome::done();
}

Outcome DeviceSignin::readReply(const QVariantMap& data, const QString& storeId, Reply& reply) {
    if (!data.contains(QStringLiteral("status")))
        return Outcome::failed(tr("签到时未返回门店状态"));
    if (data.value(QStringLiteral("status")).toString() != QLatin1String("1"))
        return Outcome::failed(storeId + tr("已被禁用，请联系管理员处理"));
    if (!data.contains(QStringLiteral("token")))
        return Outcome::failed(tr("签到时未返回token"));
    reply.token = data.value(QStringLiteral("token")).toString();
    if (!data.contains(QStringLiteral("shop_id")))
        return Outcome::failed(tr("签到时未返回门店id"));
    reply.shopId = data.value(QStringLiteral("shop_id")).toString();
    return Outcome::done();
}

Outcome DeviceSignin::signinIfNeeded(const QString& storeId, QString& shopId) {
    const QString signinTime = Settings::signinTime();
    keepCompanionRunning();
    if (!signinTime.isEmpty()) {
        const QString signinDate = signinTime.left(10);
        const QString currentDate = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        m_log.write(QStringLiteral("sSigninDate"), signinDate);
        m_log.write(QStringLiteral("sCurrentDate"), currentDate);
        if (signinDate == currentDate)
            return Outcome::done();
    }
    m_log.write(tr("会员签到判断"), tr("需要进行签到"));
    const Outcome signedIn = signin(storeId, shopId);
    if (!signedIn.isDone())
        m_log.write(tr("会员自动签到"), tr("失败"));
    return signedIn;
}

void DeviceSignin::keepCompanionRunning() {
    const QString exePath = Settings::companionProgram();
    if (exePath.isEmpty())
        return;
    // Only "/" separates folders here; a path written with back-slashes is taken
    // whole as the image name.
    const QString imageName = exePath.mid(exePath.lastIndexOf(QLatin1Char('/')) + 1);
    if (RunningPrograms::listing(imageName).contains(imageName)) {
        m_log.write(tr("自动下载"), imageName + tr("已经启动"));
    } else {
        m_log.write(tr("自动下载"), tr("启动") + exePath);
        QProcess::startDetached(exePath, {QStringLiteral("r")});
    }
}
