#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

namespace {

// The text in which the companion program's image name is looked for: on Windows
// what tasklist prints for that image, elsewhere the executable names of the
// running processes, one a line.
QString runningProcessesText(const QString& imageName) {
#ifdef Q_OS_WIN
    QProcess tasklist;
    tasklist.start(QStringLiteral("tasklist"),
                   {QStringLiteral("/NH"), QStringLiteral("/FO"), QStringLiteral("CSV"),
                    QStringLiteral("/FI"), QStringLiteral("IMAGENAME eq %1").arg(imageName)});
    tasklist.waitForFinished(5000);
    QByteArray out = tasklist.readAllStandardOutput();
    const int nul = out.indexOf('\0');
    if (nul >= 0)
        out.truncate(nul);
    return QString::fromUtf8(out);
#else
    Q_UNUSED(imageName)
    QString names;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool isPid = false;
        pid.toInt(&isPid);
        if (!isPid)
            continue;
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (!exe.isEmpty())
            names += QFileInfo(exe).fileName() + QLatin1Char('\n');
    }
    return names;
#endif
}

} // namespace

bool ZoVORDACtl::Signin(const QString& p_sStoreId, QString& p_sError) {
    QSettings host(QStringLiteral("RVX_Config.ini"), QSettings::IniFormat);
    const QString deviceId = host.value(QStringLiteral("NAV/pointcode")).toString();
    if (deviceId.isEmpty()) {
        p_sError = tr("未配置设备编码");
        return false;
    }
    QSettings config(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    config.setIniCodec("UTF-8");
    const QString password = config.value(QStringLiteral("Config/password")).toString();
    if (password.isEmpty()) {
        p_sError = tr("未配置签到密码");
        return false;
    }
    const QVariantMap body{{QStringLiteral("serial_num"), p_sStoreId},
                           {QStringLiteral("device_id"), deviceId},
                           {QStringLiteral("entry_pwd"), password}};
    QString reply;
    if (!PostCrm(QStringLiteral("sig999"), tr("会员签到"), body, reply, p_sError))
        return false;

    CrmReplyTexts texts;
    texts.notJson = tr("解析Vorda返回数据错误，请再次尝试或联系管理员处理");
    texts.notObject = tr("解析Vorda返回数据失败，请再次尝试或联系管理员处理");
    texts.noData = tr("未获取到Vorda返回数据节点");
    texts.noResultCode = tr("会员签到时未返回result_code");
    texts.refusedPrefix = tr("签到失败，");
    texts.refusedSuffix = tr("，请再次尝试或联系管理员处理");
    texts.refusedNoMsg = tr("签到失败，请再次尝试或联系管理员处理");
    QVariantMap data;
    if (ReadCrmReply(reply, texts, data, p_sError) != CrmReplyStatus::Accepted)
        return false;

    if (!data.contains(QStringLiteral("status"))) {
        p_sError = tr("签到时未返回门店状态");
        return false;
    }
    if (data.value(QStringLiteral("status")).toString() != QLatin1String("1")) {
        p_sError = p_sStoreId + tr("已被禁用，请联系管理员处理");
        return false;
    }
    if (!data.contains(QStringLiteral("token"))) {
        p_sError = tr("签到时未返回token");
        return false;
    }
    // The token is kept even if the shop id is missing below: the CRM has already
    // switched to it, and the next exchange must carry it.
    config.setValue(QStringLiteral("Config/token"), data.value(QStringLiteral("token")).toString());
    config.sync();
    if (!data.contains(QStringLiteral("shop_id"))) {
        p_sError = tr("签到时未返回门店id");
        return false;
    }
    shop_id = data.value(QStringLiteral("shop_id")).toString();
    config.setValue(QStringLiteral("Config/shop_id"), shop_id);
    config.setValue(QStringLiteral("Config/SigninTime"),
                    QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    config.sync();
    return true;
}

bool ZoVORDACtl::SigninIfNeeded(const QString& p_sStoreId, QString& p_sError) {
    QString signinTime;
    QString exePath;
    {
        QSettings config(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
        signinTime = config.value(QStringLiteral("Config/SigninTime")).toString();
        exePath = config.value(QStringLiteral("Config/ExePath")).toString();
    }

    if (!exePath.isEmpty()) {
        // Only "/" separates folders here; a path written with back-slashes is taken
        // whole as the image name.
        const QString imageName = exePath.mid(exePath.lastIndexOf(QLatin1Char('/')) + 1);
        if (runningProcessesText(imageName).contains(imageName)) {
            WriteLog(tr("自动下载"), imageName + tr("已经启动"));
        } else {
            WriteLog(tr("自动下载"), tr("启动") + exePath);
            QProcess::startDetached(exePath, {QStringLiteral("r")});
        }
    }

    if (!signinTime.isEmpty()) {
        const QString signinDate = signinTime.left(10);
        const QString currentDate = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        WriteLog(QStringLiteral("sSigninDate"), signinDate);
        WriteLog(QStringLiteral("sCurrentDate"), currentDate);
        if (signinDate == currentDate)
            return true;
    }
    WriteLog(tr("会员签到判断"), tr("需要进行签到"));
    const bool ok = Signin(p_sStoreId, p_sError);
    if (!ok)
        WriteLog(tr("会员自动签到"), tr("失败"));
    return ok;
}
