// The till's sign-in at the CRM: once a day before the first member verification, and
// whenever the cashier forces it from the member management screen; the companion
// program kept running alongside.
#include "support/Columns.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTextCodec>
#include <QtTest>

using namespace Requests;

namespace {

QByteArray signedIn(const QJsonObject& data = {{"status", "1"}, {"token", "NEW"}, {"shop_id", "S99"}}) {
    return CrmReplies::accepted(data);
}

QByteArray oneMember() {
    return CrmReplies::members({CrmReplies::member("M1", "C1", "张三", "13800000001")});
}

const QJsonObject kManagement{{"reqtype", "78"}, {"store_id", "0101"}};
const QByteArray kSigninBody = R"({"device_id":"POS01","entry_pwd":"密码8","serial_num":"0101"})";
const QByteArray kSigninBodyLogged = R"({"device_id":"POS01","entry_pwd":"******","serial_num":"0101"})";
const QString kSleeper = QFileInfo(QStandardPaths::findExecutable("sleep")).canonicalFilePath();
const QString kRetry = QStringLiteral("，请再次尝试或联系管理员处理");
const QString kYesterday = QDate::currentDate().addDays(-1).toString("yyyy-MM-dd") + " 23:59:59";

QString today() {
    return QDate::currentDate().toString("yyyy-MM-dd");
}

} // namespace

class TestDeviceSignin : public ScriptedTillSuite {
    Q_OBJECT
    QString ini(const QString& key) const { return m_till->dir.readIni("ZoVORDA.ini", key).toString(); }
    // The settings as the last sign-in, yesterday, left them.
    void verifyUntouched(const QString& token = "TK-1") {
        QCOMPARE(ini("Config/token"), token);
        QCOMPARE(ini("Config/shop_id"), QStringLiteral("S01"));
        QCOMPARE(ini("Config/SigninTime"), kYesterday);
    }

private slots:
    void init() {
        startTill();
        m_till->dir.writeIni("ZoVORDA.ini",
                             {{"Config/password", "密码8"}, {"Config/SigninTime", kYesterday}});
    }
    void cleanup() { endTill(); }

    void firstVerificationOfTheDaySignsIn() {
        m_till->script("sig999", {signedIn()});
        m_till->script("pmb001", {oneMember()});
        QVERIFY(m_till->vip(verifyRequest()).contains(R"("rtncode":"111111")"));
        QCOMPARE(m_till->bodies("sig999"), QByteArrayList{kSigninBody});
        QCOMPARE(m_till->dir.logSteps(),
                 (QStringList{"传入参数", "sSigninDate", "sCurrentDate", "会员签到判断", "会员签到",
                              "调用成功", "会员验证", "调用成功", "返回结果"}));
        // The sign-in password and the token the CRM hands out stay out of the log.
        QCOMPARE(m_till->dir.lastLogText("会员签到").toUtf8(), kSigninBodyLogged);
        QCOMPARE(m_till->dir.logRecords().value(5).text.toUtf8(),
                 signedIn({{"status", "1"}, {"token", "******"}, {"shop_id", "S99"}}));
        QCOMPARE(m_till->dir.lastLogText("会员签到判断"), QStringLiteral("需要进行签到"));
        // The verification already goes with the new shop id and token.
        const crmsim::Request lookup = m_till->crm.requests().value(1);
        QCOMPARE(lookup.body, QByteArray(R"({"cardno":"13800000001","shop_id":"S99"})"));
        QCOMPARE(lookup.header("Token"), QByteArray("NEW"));
        QCOMPARE(ini("Config/token"), QStringLiteral("NEW"));
        QCOMPARE(ini("Config/shop_id"), QStringLiteral("S99"));
        const QDateTime stamp = QDateTime::fromString(ini("Config/SigninTime"), "yyyy-MM-dd hh:mm:ss");
        QVERIFY2(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 5, qPrintable(ini("Config/SigninTime")));
    }

    // The installer's file stays as written: the sign-in changes the values of its three
    // keys and nothing else, in the file's own encoding and line endings. %ADDR% stands
    // for the simulator's address, %NOW% for the time of the sign-in.
    void signinKeepsTheInstallersFile_data() {
        columns<QByteArray, QString, QString>({"codec", "before", "after"});
        const QString head = "; 会员插件设置\n[Config]\nHttpAddress=%ADDR%\ncompany_id=C001\n"
                             "; 签到后由插件写入\n";
        const QString tail = "shop_name=一号店\npassword=密码8\n\n[Other]\nnote=保留";
        const QString signedBefore = "token=TK-1\nshop_id=S01\nSigninTime=" + kYesterday + "\n";
        const QString signedAfter = "token=NEW\nshop_id=S99\nSigninTime=%NOW%\n";
        tableRow("UTF-8, comments and Chinese values", QByteArray("UTF-8"), head + signedBefore + tail,
                 head + signedAfter + tail);
        tableRow("GBK with CRLF line endings", QByteArray("GBK"),
                 QString(head + signedBefore + tail).replace("\n", "\r\n"),
                 QString(head + signedAfter + tail).replace("\n", "\r\n"));
        tableRow("byte order mark, blanks, names in capitals, escapes, no line break at the end",
                 QByteArray("UTF-8"),
                 "\uFEFF[CONFIG]\nHttpAddress = %ADDR%\ncompany_id=C001\nTOKEN = TK-1\nPassword = "
                 "\"\\x5BC6\\x7801\\x38\"",
                 "\uFEFF[CONFIG]\nHttpAddress = %ADDR%\ncompany_id=C001\nTOKEN = NEW\nPassword = "
                 "\"\\x5BC6\\x7801\\x38\"\n"
                 "shop_id=S99\nSigninTime=%NOW%\n");
        tableRow("keys not there yet go after the section's last key", QByteArray("UTF-8"),
                 "[Config]\nHttpAddress=%ADDR%\ncompany_id=C001\npassword=密码8\n\n; "
                 "数据库\n[DataBase]\nDbType=SQLITE",
                 "[Config]\nHttpAddress=%ADDR%\ncompany_id=C001\npassword=密码8\ntoken=NEW\nshop_id="
                 "S99\nSigninTime=%NOW%\n"
                 "\n; 数据库\n[DataBase]\nDbType=SQLITE");
        // The reader breaks lines at line feeds only: a last line ended by a carriage return
        // alone gets its line feed before the keys added after it.
        const QString crlfHead = "[Config]\r\nHttpAddress=%ADDR%\r\ncompany_id=C001\r\npassword=密码8\r\n";
        tableRow("a last line ended by a carriage return alone", QByteArray("UTF-8"),
                 crlfHead + "token=TK-1\r", crlfHead + "token=NEW\r\nshop_id=S99\r\nSigninTime=%NOW%\r\n");
    }

    void signinKeepsTheInstallersFile() {
        QFETCH(QByteArray, codec);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QTextCodec* fileCodec = QTextCodec::codecForName(codec);
        m_till->dir.writeFile("ZoVORDA.ini",
                              fileCodec->fromUnicode(before.replace("%ADDR%", m_till->crm.baseUrl())));
        m_till->script("sig999", {signedIn()});
        m_till->script("pmb001", {oneMember()});
        QVERIFY(m_till->vip(verifyRequest()).contains(R"("rtncode":"111111")"));
        QCOMPARE(m_till->bodies("sig999"), QByteArrayList{kSigninBody});
        const QString written = fileCodec->toUnicode(m_till->dir.readFile("ZoVORDA.ini"));
        const QString now = QRegularExpression("SigninTime=([-0-9: ]{19})").match(written).captured(1);
        QVERIFY2(
            qAbs(QDateTime::fromString(now, "yyyy-MM-dd hh:mm:ss").secsTo(QDateTime::currentDateTime())) < 5,
            qPrintable(written));
        QCOMPARE(
            m_till->dir.readFile("ZoVORDA.ini"),
            fileCodec->fromUnicode(after.replace("%ADDR%", m_till->crm.baseUrl()).replace("%NOW%", now)));
    }

    // GBK, the code page of a Chinese Windows till, has neither emoji nor the characters
    // beyond the 16-bit range: a shop id with one is written escaped into a GBK file, so
    // that the next call of the day reads it back as the CRM gave it.
    void signinWritesWhatTheCodePageLacksEscaped_data() {
        columns<QString>({"shopId"});
        tableRow("an emoji", QStringLiteral("S😀"));
        tableRow("a character beyond the 16-bit range", QStringLiteral("店\U00020000"));
    }

    void signinWritesWhatTheCodePageLacksEscaped() {
        QFETCH(QString, shopId);
        QTextCodec* system = QTextCodec::codecForLocale();
        const auto restore = qScopeGuard([system] { QTextCodec::setCodecForLocale(system); });
        QTextCodec* gbk = QTextCodec::codecForName("GBK");
        QTextCodec::setCodecForLocale(gbk);
        const QString file = "; 会员插件设置\n[Config]\nHttpAddress=" + m_till->crm.baseUrl() +
                             "\ncompany_id=C001\npassword=密码8\nSigninTime=" + kYesterday + "\n";
        m_till->dir.writeFile("ZoVORDA.ini", gbk->fromUnicode(file));
        m_till->script("sig999", {signedIn({{"status", "1"}, {"token", "NEW"}, {"shop_id", shopId}})});
        m_till->script("pmb001", {oneMember(), oneMember()});
        QVERIFY(m_till->vip(verifyRequest()).contains(R"("rtncode":"111111")"));
        QVERIFY(m_till->vip(verifyRequest()).contains(R"("rtncode":"111111")"));
        const QByteArray lookup =
            QJsonDocument({{"cardno", "13800000001"}, {"shop_id", shopId}}).toJson(QJsonDocument::Compact);
        QCOMPARE(m_till->bodies("pmb001"), (QByteArrayList{lookup, lookup}));
    }

    void signinDueByDate_data() {
        columns<QString, bool>({"stamp", "due"});
        tableRow("signed in today just after midnight", today() + " 00:00:01", false);
        tableRow("a date without a time, today", today(), false);
        tableRow("signed in yesterday a second before midnight", kYesterday, true);
        tableRow("never signed in", QString(""), true);
        tableRow("a stamp shorter than a date", today().left(7), true);
        tableRow("today written with slashes", today().replace('-', '/') + " 08:00:00", true);
    }

    void signinDueByDate() {
        QFETCH(QString, stamp);
        QFETCH(bool, due);
        m_till->dir.writeIni("ZoVORDA.ini", {{"Config/SigninTime", stamp}});
        if (due)
            m_till->script("sig999", {signedIn()});
        m_till->script("pmb001", {oneMember()});
        m_till->vip(verifyRequest());
        QCOMPARE(m_till->txcodes(), due ? QStringList({"sig999", "pmb001"}) : QStringList({"pmb001"}));
        QCOMPARE(m_till->dir.logSteps().contains("会员签到判断"), due);
        QCOMPARE(m_till->dir.lastLogText("sSigninDate"), stamp.isEmpty() ? QString() : stamp.left(10));
        QCOMPARE(m_till->dir.lastLogText("sCurrentDate"), stamp.isEmpty() ? QString() : today());
    }

    void failedSigninDoesNotStopTheVerification_data() {
        columns<QString, QString, QByteArrayList>({"file", "emptied", "replies"});
        tableRow("the CRM refuses the sign-in", QString("ZoVORDA.ini"), QString(),
                 QByteArrayList{CrmReplies::refused("设备未注册")});
        tableRow("no sign-in password", QString("ZoVORDA.ini"), QString("Config/password"), QByteArrayList());
    }

    // The old token may still be good; the CRM says so if it is not.
    void failedSigninDoesNotStopTheVerification() {
        QFETCH(QString, file);
        QFETCH(QString, emptied);
        QFETCH(QByteArrayList, replies);
        if (!emptied.isEmpty())
            m_till->dir.writeIni(file, {{emptied, ""}});
        m_till->script("sig999", replies);
        m_till->script("pmb001", {oneMember()});
        QVERIFY(m_till->vip(verifyRequest()).contains(R"("rtncode":"111111")"));
        QCOMPARE(m_till->txcodes(),
                 replies.isEmpty() ? QStringList({"pmb001"}) : QStringList({"sig999", "pmb001"}));
        QCOMPARE(m_till->dir.lastLogText("会员自动签到"), QStringLiteral("失败"));
        QCOMPARE(m_till->crm.requests().last().header("Token"), QByteArray("TK-1"));
        QCOMPARE(m_till->bodies("pmb001").value(0),
                 QByteArray(R"({"cardno":"13800000001","shop_id":"S01"})"));
        verifyUntouched();
    }

    void forcedSignin() {
        m_till->script("sig999", {signedIn({{"status", 1}, {"token", "NEW"}, {"shop_id", "S99"}})});
        cashier().signins = {true};
        QCOMPARE(m_till->vip(kManagement), QByteArray(R"({"rtncode":"111111","rtnmsg":"成功"})"));
        QCOMPARE(cashier().messages, QStringList{"签到成功"});
        QCOMPARE(m_till->bodies("sig999"), QByteArrayList{kSigninBody});
        QCOMPARE(m_till->dir.logSteps(),
                 (QStringList{"传入参数", "会员管理", "会员签到", "调用成功", "返回结果"}));
        QCOMPARE(m_till->dir.lastLogText("会员管理"), QStringLiteral("强制进行签到"));
        QCOMPARE(ini("Config/token"), QStringLiteral("NEW"));
        QCOMPARE(ini("Config/shop_id"), QStringLiteral("S99"));
        QVERIFY(ini("Config/SigninTime").startsWith(today() + " "));
    }

    // emptied: a setting (file, key) the till lacks.
    void managementRefused_data() {
        columns<bool, QJsonObject, QStringList, QByteArray, QString, QString>(
            {"signin", "request", "emptied", "reply", "message", "token"});
        const auto crm = [](const char* name, const QByteArray& reply, const QString& message,
                            const QString& token = "TK-1") {
            QTest::newRow(name) << true << kManagement << QStringList() << reply << message << token;
        };
        const auto till = [](const char* name, bool signin, const QJsonObject& request,
                             const QStringList& emptied, const QString& message) {
            QTest::newRow(name) << signin << request << emptied << QByteArray() << message << QString("TK-1");
        };
        const QJsonObject noStore = without(kManagement, {"store_id"});
        till("the cashier closes the screen", false, noStore, {}, "CLOSE");
        till("a sign-in without a store", true, noStore, {}, "store_id参数传入不全");
        till("a sign-in without device code", true, kManagement, {"RVX_Config.ini", "NAV/pointcode"},
             "未配置设备编码");
        till("a sign-in without password", true, kManagement, {"ZoVORDA.ini", "Config/password"},
             "未配置签到密码");
        crm("an answer that is no JSON", "ok", "解析Vorda返回数据错误" + kRetry);
        crm("a JSON array", "[]", "解析Vorda返回数据失败" + kRetry);
        crm("no data", "{}", "未获取到Vorda返回数据节点");
        crm("no result code", R"({"data":{}})", "会员签到时未返回result_code");
        crm("a refusal with its text", CrmReplies::refused("密码错误"), "签到失败，密码错误" + kRetry);
        crm("a refusal without text", R"({"data":{"result_code":"-1"}})", "签到失败" + kRetry);
        crm("no store status", signedIn({{"token", "NEW"}, {"shop_id", "S99"}}), "签到时未返回门店状态");
        crm("the store disabled", signedIn({{"status", "0"}, {"token", "NEW"}, {"shop_id", "S99"}}),
            "0101已被禁用，请联系管理员处理");
        crm("no token", signedIn({{"status", "1"}, {"shop_id", "S99"}}), "签到时未返回token");
        crm("no shop id, the token is kept", signedIn({{"status", "1"}, {"token", "NEW"}}),
            "签到时未返回门店id", "NEW");
    }

    void managementRefused() {
        QFETCH(bool, signin);
        QFETCH(QJsonObject, request);
        QFETCH(QStringList, emptied);
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QFETCH(QString, token);
        if (!emptied.isEmpty())
            m_till->dir.writeIni(emptied[0], {{emptied[1], ""}});
        if (!reply.isNull())
            m_till->script("sig999", {reply});
        cashier().signins = {signin};
        QCOMPARE(m_till->vip(request),
                 QStringLiteral(R"({"rtncode":"000000","rtnmsg":"%1"})").arg(message).toUtf8());
        QCOMPARE(m_till->txcodes(), reply.isNull() ? QStringList() : QStringList{"sig999"});
        QVERIFY(cashier().messages.isEmpty());
        verifyUntouched(token);
    }

    void companionProgram_data() {
        columns<QString, QString, bool>({"exePath", "logText", "started"});
        // A program of another name than this test's keeps running beside it.
        tableRow("running already", kSleeper, QString("sleep已经启动"), false);
        tableRow("not running", QString("companion.sh"), QString(), true); // started by its whole path
        tableRow("a path ending in a slash names nothing", QString("/opt/till/"), QString("已经启动"), false);
    }

    void companionProgram() {
        QFETCH(QString, exePath);
        QFETCH(QString, logText);
        QFETCH(bool, started);
        QProcess running;
        running.start(kSleeper, {"30"});
        QVERIFY(running.waitForStarted());
        // A companion that leaves a note of its arguments.
        m_till->dir.writeFile("companion.sh", "#!/bin/sh\necho \"$@\" > companion.out\n");
        QFile::setPermissions(m_till->dir.filePath("companion.sh"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const bool inDir = exePath == "companion.sh";
        m_till->dir.writeIni("ZoVORDA.ini",
                             {{"Config/ExePath", inDir ? m_till->dir.filePath(exePath) : exePath},
                              {"Config/SigninTime", today() + " 09:00:00"}});
        m_till->script("pmb001", {oneMember()});
        m_till->vip(verifyRequest());
        QCOMPARE(m_till->dir.lastLogText("自动下载"),
                 inDir ? "启动" + m_till->dir.filePath(exePath) : logText);
        if (started)
            QTRY_COMPARE(m_till->dir.readFile("companion.out"), QByteArray("r\n"));
        else
            QVERIFY(!QFile::exists(m_till->dir.filePath("companion.out")));
        running.kill();
        running.waitForFinished();
    }
};

QTEST_MAIN(TestDeviceSignin)
#include "tst_DeviceSignin.moc"
