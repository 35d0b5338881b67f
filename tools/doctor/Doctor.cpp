#include "Doctor.h"

#include "DatabaseCheck.h"
#include "SettingsCheck.h"
#include "config/Settings.h"
#include "crm/CrmClient.h"
#include "log/PayLogger.h"
#include "member/DeviceSignin.h"
#include "ui/DialogCashier.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTextStream>

namespace {

// The plug-in's own log source: a sign-in asked for here is logged as the till's own.
const QString kPluginSource = QStringLiteral("ZoVORDA动态库");

CrmReplyTexts probeTexts() {
    return CrmReplyTexts{QStringLiteral("the reply is not JSON"),
                         QStringLiteral("the reply is not a JSON object"),
                         QStringLiteral("the reply has no \"data\""),
                         QStringLiteral("the reply has no \"data\".\"result_code\""),
                         QString(),
                         QString(),
                         QStringLiteral("a refusal without result_msg"),
                         true};
}

// The text of the last record of the day's log in dir: what the CRM answered, as the
// exchange logged it.
QString lastLoggedText(const QString& dir) {
    QFile file(dir + QStringLiteral("/PayLog") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
               QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    // Read with the code page it was written in.
    const QString all = QTextStream(&file).readAll();
    const QString label = QStringLiteral("\n内容：");
    const int start = all.lastIndexOf(label);
    return start < 0 ? QString() : all.mid(start + label.size()).chopped(2);
}

} // namespace

Doctor::Doctor(const QString& signinStore) : m_signinStore(signinStore) {}

QStringList Doctor::run() {
    m_findings.clear();
    const bool configured = SettingsCheck::check(m_findings);
    if (!m_signinStore.isEmpty())
        signIn();
    SettingsCheck::checkSignedIn(m_findings);
    checkCrm(configured);
    DatabaseCheck::check(m_findings);
    checkLogFolder();
    checkFreeSpace();
    return m_findings.lines();
}

QString Doctor::summary() const {
    return QStringLiteral("Summary: %1 OK, %2 WARN, %3 FAIL")
        .arg(m_findings.count(Findings::Level::Ok))
        .arg(m_findings.count(Findings::Level::Warn))
        .arg(m_findings.count(Findings::Level::Fail));
}

int Doctor::exitCode() const {
    return m_findings.count(Findings::Level::Fail) > 0 ? 1 : 0;
}

void Doctor::signIn() {
    const PayLogger log(kPluginSource);
    DialogCashier cashier;
    CrmClient crm(cashier, log);
    DeviceSignin signin(crm, log);
    QString shopId;
    const Outcome signedIn = signin.signin(m_signinStore, shopId);
    if (!signedIn.isDone()) {
        m_findings.fail(
            QStringLiteral("sign-in as store %1 failed: %2").arg(m_signinStore, signedIn.hostText()),
            QStringLiteral("check the store number, ZoVORDA.ini [Config] password and RVX_Config.ini [NAV] "
                           "pointcode against the CRM's records for this till"));
        return;
    }
    m_findings.ok(
        QStringLiteral("sign-in as store %1 accepted: shop_id %2 and token %3 written to ZoVORDA.ini")
            .arg(m_signinStore, shopId, SettingsCheck::masked(Settings::crm().token)));
}

void Doctor::checkCrm(bool configured) {
    const QString address = SettingsCheck::shownAddress(Settings::crm().address);
    // The exchange's log records go to a folder that goes with us: the till's log is
    // for the till's own business.
    QTemporaryDir scratch;
    PayLogger log(kPluginSource);
    if (scratch.isValid())
        log.setLogDir(scratch.filePath(QStringLiteral("LOG")));
    DialogCashier cashier;
    CrmClient crm(cashier, log);
    // A member query with an empty key finds nobody and changes nothing on the CRM.
    const CrmReplyTexts texts = probeTexts();
    const CrmReply reply = crm.call(
        QStringLiteral("pmb001"), QStringLiteral("会员验证"),
        QJsonObject{{QStringLiteral("cardno"), QString()}, {QStringLiteral("shop_id"), Settings::shopId()}},
        texts);
    const QString problem = reply.error();
    if (!configured) {
        m_findings.fail(QStringLiteral("CRM not asked: ") + problem,
                        QStringLiteral("set HttpAddress, company_id and pointcode first (see above)"));
    } else if (reply.status() == CrmReply::Status::ExchangeFailed) {
        m_findings.fail(
            QStringLiteral("CRM at %1 does not answer: %2").arg(address, problem),
            QStringLiteral("check that the CRM runs and that this till reaches it at that address "
                           "(port, proxy, firewall)"));
    } else if (reply.accepted()) {
        m_findings.ok(QStringLiteral("CRM at %1 answers: a member query is accepted").arg(address));
    } else if (reply.status() == CrmReply::Status::NotJson || problem == texts.notObject ||
               problem == texts.noData || problem == texts.noResultCode) {
        QString excerpt = lastLoggedText(log.logDir()).simplified();
        if (excerpt.size() > 60)
            excerpt = excerpt.left(60) + QStringLiteral("…");
        m_findings.fail(
            QStringLiteral("CRM at %1 answers, but not as the Vorda CRM: %2: \"%3\"")
                .arg(address, problem, excerpt),
            QStringLiteral("HttpAddress must be the Vorda CRM's base address, the part before /txCtrl"));
    } else {
        m_findings.warn(QStringLiteral("CRM at %1 answers, but refuses this till: %2").arg(address, problem),
                        QStringLiteral("when it is about the token, sign in: zovorda-doctor --signin STORE; "
                                       "otherwise check company_id and pointcode with the CRM"));
    }
}

void Doctor::checkLogFolder() {
    // The plug-in's own logger says where it writes: LOG under the working directory.
    const QString dir = PayLogger(kPluginSource).logDir();
    const QFileInfo info(dir);
    if (!info.exists()) {
        // Made and taken away again: the plug-in makes it with its first record.
        if (!QDir().mkdir(dir)) {
            m_findings.fail(QStringLiteral("log folder %1 cannot be created").arg(dir),
                            QStringLiteral("give the till's user the right to write in ") +
                                QDir::currentPath());
            return;
        }
        QDir().rmdir(dir);
        m_findings.ok(QStringLiteral("log folder %1 does not exist yet; the plug-in can create it").arg(dir));
        return;
    }
    if (!info.isDir()) {
        m_findings.fail(QStringLiteral("%1 is a file, not a folder: the plug-in writes no log").arg(dir),
                        QStringLiteral("remove or rename that file; the plug-in creates the folder with its "
                                       "next record"));
        return;
    }
    QTemporaryFile probe(dir + QStringLiteral("/doctor-XXXXXX.tmp"));
    if (!probe.open()) {
        m_findings.fail(QStringLiteral("log folder %1 is not writable").arg(dir),
                        QStringLiteral("give the till's user the right to write in it"));
        return;
    }
    // Opened for appending and closed unwritten: today's records stay as they are.
    QFile today(dir + QStringLiteral("/PayLog") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                QStringLiteral(".txt"));
    if (today.exists() && !today.open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_findings.fail(QStringLiteral("today's log %1 cannot be written").arg(today.fileName()),
                        QStringLiteral("give the till's user the right to write it"));
        return;
    }
    m_findings.ok(QStringLiteral("log folder %1 is writable").arg(dir));
}

void Doctor::checkFreeSpace() {
    // The log folder's disk, or the working directory's while there is no folder yet.
    const QString logDir = PayLogger(kPluginSource).logDir();
    const QString dir = QFileInfo(logDir).isDir() ? logDir : QDir::currentPath();
    const QStorageInfo disk(dir);
    if (!disk.isValid() || !disk.isReady()) {
        m_findings.warn(QStringLiteral("the free space on the disk of %1 cannot be read").arg(dir),
                        QStringLiteral("check that disk: the daily log needs room to grow"));
        return;
    }
    const qint64 freeMb = disk.bytesAvailable() / (1024 * 1024);
    if (freeMb < m_minimumFreeMb) {
        m_findings.warn(QStringLiteral("only %1 MB free on the disk of %2 (less than %3 MB): once it is full "
                                       "the daily log loses records without a word")
                            .arg(freeMb)
                            .arg(dir)
                            .arg(m_minimumFreeMb),
                        QStringLiteral("free space on that disk, e.g. archive old LOG/PayLog*.txt files"));
        return;
    }
    m_findings.ok(QStringLiteral("disk of %1 has at least %2 MB free").arg(dir).arg(m_minimumFreeMb));
}
