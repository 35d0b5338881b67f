// The CRM reached over https: a certificate the till trusts is accepted, and one it
// cannot trust (an unknown authority, another host's name, self-signed) ends the
// exchange before any request is sent, with the network error text.
#include "CrmSim.h"
#include "core/ZoVORDACtl.h"
#include "support/CrmReplies.h"
#include "support/WorkDir.h"

#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QtTest>

namespace {

const QString kSslError =
    QStringLiteral("网络错误，请再次尝试或联系管理员处理。错误代码: 6 SSL handshake failed");

bool openssl(const QString& dir, const QStringList& args, QString& why) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        why = QStringLiteral("openssl %1: %2").arg(args.join(' '), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

const QStringList kNewKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};

// <name>.pem and <name>.key: a certificate authority of its own.
bool makeAuthority(const QString& dir, const QString& name, QString& why) {
    return openssl(dir,
                   QStringList{"req", "-x509", "-new"} + kNewKey +
                       QStringList{"-days", "2", "-subj", "/CN=" + name, "-keyout", name + ".key", "-out",
                                   name + ".pem", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                                   "keyUsage=critical,keyCertSign,cRLSign"},
                   why);
}

// <name>.pem and <name>.key: a server certificate for the names in san, issued by
// the authority ca, or signed by itself when ca is empty.
bool makeServer(const QString& dir, const QString& name, const QString& san, const QString& ca,
                QString& why) {
    if (ca.isEmpty())
        return openssl(dir,
                       QStringList{"req", "-x509", "-new"} + kNewKey +
                           QStringList{"-days", "2", "-subj", "/CN=" + name, "-keyout", name + ".key", "-out",
                                       name + ".pem", "-addext", "subjectAltName=" + san},
                       why);
    QFile ext(dir + "/" + name + ".ext");
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write(
        ("subjectAltName=" + san + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n").toUtf8());
    ext.close();
    return openssl(dir,
                   QStringList{"req", "-new"} + kNewKey +
                       QStringList{"-subj", "/CN=" + name, "-keyout", name + ".key", "-out", name + ".csr"},
                   why) &&
           openssl(dir,
                   {"x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                    "-CAcreateserial", "-days", "2", "-out", name + ".pem", "-extfile", name + ".ext"},
                   why);
}

} // namespace

class TestCrmTls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void certificateDecides_data();
    void certificateDecides();

private:
    QSslConfiguration m_original;
};

void TestCrmTls::initTestCase() {
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS backend here");
    m_original = QSslConfiguration::defaultConfiguration();
}

void TestCrmTls::cleanup() {
    QSslConfiguration::setDefaultConfiguration(m_original);
}

void TestCrmTls::certificateDecides_data() {
    QTest::addColumn<QString>("issuer"); // "trusted", "unknown", or "" for self-signed
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("error"); // empty: the exchange goes through
    QTest::newRow("trusted authority, address by IP") << "trusted"
                                                      << "IP:127.0.0.1,DNS:localhost"
                                                      << "127.0.0.1" << QString();
    QTest::newRow("trusted authority, address by name") << "trusted"
                                                        << "IP:127.0.0.1,DNS:localhost"
                                                        << "localhost" << QString();
    QTest::newRow("authority the till does not know") << "unknown"
                                                      << "IP:127.0.0.1,DNS:localhost"
                                                      << "127.0.0.1" << kSslError;
    QTest::newRow("certificate of another host") << "trusted"
                                                 << "DNS:crm.example.com"
                                                 << "127.0.0.1" << kSslError;
    QTest::newRow("self-signed") << ""
                                 << "IP:127.0.0.1,DNS:localhost"
                                 << "127.0.0.1" << kSslError;
}

void TestCrmTls::certificateDecides() {
    QFETCH(QString, issuer);
    QFETCH(QString, names);
    QFETCH(QString, host);
    QFETCH(QString, error);

    WorkDir dir;
    QString why;
    QVERIFY2(makeAuthority(dir.path(), "trusted", why), qPrintable(why));
    QVERIFY2(makeAuthority(dir.path(), "unknown", why), qPrintable(why));
    QVERIFY2(makeServer(dir.path(), "crm", names, issuer, why), qPrintable(why));

    crmsim::Server crm;
    QVERIFY(crm.startTls(dir.filePath("crm.pem"), dir.filePath("crm.key")));
    const QString address = QStringLiteral("https://%1:%2").arg(host).arg(crm.port());
    dir.configureTill(address);
    crm.enqueue("sig999", crmsim::Reply::json(CrmReplies::accepted(
                              {{"status", "1"}, {"token", "TK-2"}, {"shop_id", "S02"}})));

    // The worker thread builds its requests from the process's default TLS settings:
    // the till's authority is added there, next to the system's own.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(tls.caCertificates() + QSslCertificate::fromPath(dir.filePath("trusted.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);

    const QByteArray iniBefore = dir.readFile("ZoVORDA.ini");
    ZoVORDACtl ctl;
    QString message;
    const bool ok = ctl.Signin("0101", message);
    if (error.isEmpty()) {
        QVERIFY2(ok, qPrintable(message));
        QCOMPARE(dir.readIni("ZoVORDA.ini", "Config/token").toString(), QStringLiteral("TK-2"));
        QCOMPARE(crm.requestCount(), 1);
        QCOMPARE(crm.requests().value(0).body,
                 QByteArray(R"({"device_id":"POS01","entry_pwd":"pw","serial_num":"0101"})"));
    } else {
        QVERIFY(!ok);
        QCOMPARE(message, error);
        QCOMPARE(crm.requestCount(), 0);
        QCOMPARE(dir.readFile("ZoVORDA.ini"), iniBefore);
    }
}

QTEST_MAIN(TestCrmTls)
#include "tst_CrmTls.moc"
