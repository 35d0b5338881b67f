// The daily sign-in: token, shop id and time written back, refusals, the companion program.
#include "CrmSim.h"
#include "core/ZoVORDACtl.h"
#include "support/WorkDir.h"

#include <QDate>
#include <QFile>
#include <QtTest>

using crmsim::Reply;

class TestDeviceSignin : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void signinStoresTokenShopAndTime();
    void refusals_data();
    void refusals();
    void missingSettingsSendNothing_data();
    void missingSettingsSendNothing();
    void dueByDate_data();
    void dueByDate();
    void companionProgram_data();
    void companionProgram();

private:
    crmsim::Server* m_crm = nullptr;
    WorkDir* m_dir = nullptr;
    ZoVORDACtl* m_ctl = nullptr;
};

void TestDeviceSignin::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_dir = new WorkDir;
    m_dir->configureTill(m_crm->baseUrl());
    m_dir->writeIni("ZoVORDA.ini",
                    {{"Config/password", "密码8"}, {"Config/SigninTime", "2026-01-01 10:00:00"}});
    m_ctl = new ZoVORDACtl;
}

void TestDeviceSignin::cleanup() {
    delete m_ctl;
    delete m_dir;
    delete m_crm;
}

void TestDeviceSignin::signinStoresTokenShopAndTime() {
    m_crm->enqueue("sig999",
                   Reply::json(R"({"data":{"result_code":"1","status":"1","token":"NEW","shop_id":"S99"}})"));
    m_crm->enqueue("pmb001", Reply::json("{}"));
    QString error;
    QVERIFY(m_ctl->Signin("0101", error));
    const QByteArray body = R"({"device_id":"POS01","entry_pwd":"密码8","serial_num":"0101"})";
    QCOMPARE(m_crm->requests().value(0).body, body);
    QCOMPARE(m_dir->lastLogText("会员签到"), QString::fromUtf8(body));
    QCOMPARE(m_ctl->shop_id, QStringLiteral("S99"));
    QCOMPARE(m_dir->readIni("ZoVORDA.ini", "Config/token").toString(), QStringLiteral("NEW"));
    QCOMPARE(m_dir->readIni("ZoVORDA.ini", "Config/shop_id").toString(), QStringLiteral("S99"));
    const QString stamp = m_dir->readIni("ZoVORDA.ini", "Config/SigninTime").toString();
    QVERIFY2(QDateTime::fromString(stamp, "yyyy-MM-dd hh:mm:ss").secsTo(QDateTime::currentDateTime()) < 5,
             qPrintable(stamp));
    // The very next exchange carries the new token.
    QString reply;
    QVERIFY(m_ctl->CallCrm("pmb001", "{}", reply, error));
    QCOMPARE(m_crm->requests().value(1).header("Token"), QByteArray("NEW"));
}

void TestDeviceSignin::refusals_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("token");
    const QString old = "TK-1";
    QTest::newRow("not json") << QByteArray("ok") << "解析Vorda返回数据错误，请再次尝试或联系管理员处理"
                              << old;
    QTest::newRow("array") << QByteArray("[]") << "解析Vorda返回数据失败，请再次尝试或联系管理员处理" << old;
    QTest::newRow("no data") << QByteArray("{}") << "未获取到Vorda返回数据节点" << old;
    QTest::newRow("no result_code") << QByteArray(R"({"data":{}})") << "会员签到时未返回result_code" << old;
    QTest::newRow("refused with text")
        << QByteArray(R"({"data":{"result_code":"0","result_msg":"密码错误"}})")
        << "签到失败，密码错误，请再次尝试或联系管理员处理" << old;
    QTest::newRow("refused") << QByteArray(R"({"data":{"result_code":"-1"}})")
                             << "签到失败，请再次尝试或联系管理员处理" << old;
    QTest::newRow("no status") << QByteArray(R"({"data":{"result_code":1}})") << "签到时未返回门店状态"
                               << old;
    QTest::newRow("store disabled")
        << QByteArray(R"({"data":{"result_code":"1","status":"0","token":"N","shop_id":"S"}})")
        << "0101已被禁用，请联系管理员处理" << old;
    QTest::newRow("no token") << QByteArray(R"({"data":{"result_code":"1","status":1}})")
                              << "签到时未返回token" << old;
    // The token is kept although the sign-in failed for want of a shop id.
    QTest::newRow("no shop id") << QByteArray(R"({"data":{"result_code":"1","status":"1","token":"NEW"}})")
                                << "签到时未返回门店id"
                                << "NEW";
}

void TestDeviceSignin::refusals() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, error);
    QFETCH(QString, token);
    m_crm->enqueue("sig999", Reply::json(reply));
    QString message;
    QVERIFY(!m_ctl->Signin("0101", message));
    QCOMPARE(message, error);
    QCOMPARE(m_dir->readIni("ZoVORDA.ini", "Config/token").toString(), token);
    QCOMPARE(m_dir->readIni("ZoVORDA.ini", "Config/shop_id").toString(), QStringLiteral("S01"));
    QCOMPARE(m_dir->readIni("ZoVORDA.ini", "Config/SigninTime").toString(),
             QStringLiteral("2026-01-01 10:00:00"));
}

void TestDeviceSignin::missingSettingsSendNothing_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("error");
    QTest::newRow("device") << "RVX_Config.ini"
                            << "NAV/pointcode"
                            << "未配置设备编码";
    QTest::newRow("password") << "ZoVORDA.ini"
                              << "Config/password"
                              << "未配置签到密码";
}

void TestDeviceSignin::missingSettingsSendNothing() {
    QFETCH(QString, file);
    QFETCH(QString, key);
    QFETCH(QString, error);
    m_dir->writeIni(file, {{key, ""}});
    QString message;
    QVERIFY(!m_ctl->SigninIfNeeded("0101", message));
    QCOMPARE(message, error);
    QCOMPARE(m_crm->requestCount(), 0);
    QCOMPARE(m_dir->lastLogText("会员自动签到"), QStringLiteral("失败"));
}

void TestDeviceSignin::dueByDate_data() {
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<bool>("due");
    const QDate today = QDate::currentDate();
    QTest::newRow("today early") << today.toString("yyyy-MM-dd") + " 00:00:01" << false;
    QTest::newRow("today, date only") << today.toString("yyyy-MM-dd") << false;
    QTest::newRow("yesterday late") << today.addDays(-1).toString("yyyy-MM-dd") + " 23:59:59" << true;
    QTest::newRow("never") << "" << true;
    QTest::newRow("short text") << today.toString("yyyy-MM") << true;
    QTest::newRow("other format") << today.toString("yyyy/MM/dd") + " 08:00:00" << true;
}

void TestDeviceSignin::dueByDate() {
    QFETCH(QString, stamp);
    QFETCH(bool, due);
    m_dir->writeIni("ZoVORDA.ini", {{"Config/SigninTime", stamp}});
    m_crm->setFallback([](const crmsim::Request&) {
        return Reply::json(R"({"data":{"result_code":"1","status":"1","token":"NEW","shop_id":"S99"}})");
    });
    QString message;
    QVERIFY(m_ctl->SigninIfNeeded("0101", message));
    QCOMPARE(m_crm->requestCount(), due ? 1 : 0);
    const QStringList steps = m_dir->logSteps();
    if (!stamp.isEmpty()) {
        QCOMPARE(steps.value(0), QStringLiteral("sSigninDate"));
        QCOMPARE(m_dir->lastLogText("sSigninDate"), stamp.left(10));
        QCOMPARE(m_dir->lastLogText("sCurrentDate"), QDate::currentDate().toString("yyyy-MM-dd"));
    }
    QCOMPARE(steps.contains("会员签到判断"), due);
}

void TestDeviceSignin::companionProgram_data() {
    QTest::addColumn<QString>("exePath");
    QTest::addColumn<QString>("logText");
    QTest::addColumn<bool>("started");
    // The test program itself is running, so it counts as started.
    const QString self = QCoreApplication::applicationFilePath();
    QTest::newRow("running") << self << QFileInfo(self).fileName() + "已经启动" << false;
    QTest::newRow("not running") << "companion.sh"
                                 << "启动companion.sh" << true;
    QTest::newRow("ends in slash") << "/opt/till/"
                                   << "已经启动" << false;
}

void TestDeviceSignin::companionProgram() {
    QFETCH(QString, exePath);
    QFETCH(QString, logText);
    QFETCH(bool, started);
    // A companion that leaves a note of its arguments.
    m_dir->writeFile("companion.sh", "#!/bin/sh\necho \"$@\" > companion.out\n");
    QFile::setPermissions(m_dir->filePath("companion.sh"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString path = exePath == "companion.sh" ? m_dir->filePath(exePath) : exePath;
    m_dir->writeIni("ZoVORDA.ini",
                    {{"Config/ExePath", path},
                     {"Config/SigninTime", QDate::currentDate().toString("yyyy-MM-dd") + " 09:00:00"}});
    QString message;
    QVERIFY(m_ctl->SigninIfNeeded("0101", message));
    const QString expected = exePath == "companion.sh" ? "启动" + path : logText;
    QCOMPARE(m_dir->lastLogText("自动下载"), expected);
    if (started)
        QTRY_COMPARE(m_dir->readFile("companion.out"), QByteArray("r\n"));
    else
        QVERIFY(!QFile::exists(m_dir->filePath("companion.out")));
}

QTEST_MAIN(TestDeviceSignin)
#include "tst_DeviceSignin.moc"
