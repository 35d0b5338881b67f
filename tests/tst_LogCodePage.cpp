// The operation log as support staff find it on a till: bytes in the till's own 8-bit
// code page (GBK on a Chinese Windows), lines ended the platform's text-mode way.
#include "log/PayLogger.h"
#include "support/Columns.h"
#include "support/TillFixture.h"

#include <QtTest>

#include <QTextCodec>

#include <time.h>

namespace {

const QString kSource = QStringLiteral("ZoVORDA动态库");
#ifdef Q_OS_WIN
const QByteArray kLineEnd("\r\n");
#else
const QByteArray kLineEnd("\n");
#endif

QString todaysLogName() {
    return QStringLiteral("PayLog") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".txt");
}

} // namespace

class tst_LogCodePage : public QObject {
    Q_OBJECT

    QTextCodec* m_systemCodec = nullptr;

private slots:
    void initTestCase() {
        m_systemCodec = QTextCodec::codecForLocale();
        // A till three quarters of an hour off a whole-hour zone: the record's time and
        // the file's date are local, whatever the offset (a POSIX rule, no zone files needed).
        qputenv("TZ", "NPT-5:45");
        tzset();
    }
    void cleanup() { QTextCodec::setCodecForLocale(m_systemCodec); }

    void recordsAreWrittenInTheTillsCodePage_data();
    void recordsAreWrittenInTheTillsCodePage();
    void secretsNeverReachTheFile_data();
    void secretsNeverReachTheFile();
    void unwritableLogIsOnlyReported_data();
    void unwritableLogIsOnlyReported();
};

void tst_LogCodePage::recordsAreWrittenInTheTillsCodePage_data() {
    // The code page, "时间：" as the file must hold it, the records in call order, and
    // whether their texts come as UTF-8 bytes (a request body as it goes out).
    columns<QByteArray, QByteArray, QStringList, QStringList, bool>(
        {"codePage", "timeLabelBytes", "steps", "texts", "asUtf8"});
    const QByteArray gbk("\xCA\xB1\xBC\xE4\xA3\xBA"), utf8("\xE6\x97\xB6\xE9\x97\xB4\xEF\xBC\x9A");
    const QStringList request{"{\"reqtype\":\"50\",\"code\":\"会员卡0001\"}"};
    tableRow("Chinese Windows till", QByteArray("GBK"), gbk, QStringList{"传入参数"}, request, false);
    tableRow("UTF-8 system", QByteArray("UTF-8"), utf8, QStringList{"传入参数"}, request, false);
    tableRow("a body in UTF-8 on a Chinese Windows till", QByteArray("GBK"), gbk, QStringList{"订单结算"},
             request, true);
    tableRow("a body in UTF-8 on a UTF-8 system", QByteArray("UTF-8"), utf8, QStringList{"订单结算"}, request,
             true);
    tableRow("text with line breaks", QByteArray("GBK"), gbk, QStringList{"返回结果"},
             QStringList{"{\n    \"rtncode\": \"000000\",\n    \"rtnmsg\": \"未配置设备编码\"\n}"}, false);
    tableRow("two records in call order", QByteArray("GBK"), gbk, QStringList{"会员签到判断", "会员自动签到"},
             QStringList{"需要进行签到", "失败"}, false);
}

void tst_LogCodePage::recordsAreWrittenInTheTillsCodePage() {
    QFETCH(QByteArray, codePage);
    QFETCH(QByteArray, timeLabelBytes);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, texts);
    QFETCH(bool, asUtf8);
    QTextCodec* codec = QTextCodec::codecForName(codePage);
    QVERIFY(codec);
    QTextCodec::setCodecForLocale(codec);

    WorkDir dir;
    const PayLogger logger(kSource);
    const QDateTime before = QDateTime::currentDateTime();
    for (int i = 0; i < steps.size(); ++i) {
        if (asUtf8)
            logger.write(steps.at(i), texts.at(i).toUtf8());
        else
            logger.write(steps.at(i), texts.at(i));
    }
    const QDateTime after = QDateTime::currentDateTime();

    const QStringList files = QDir(dir.filePath(QStringLiteral("LOG"))).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    const QByteArray bytes = dir.readFile(QStringLiteral("LOG/") + files.first());
    QVERIFY2(bytes.startsWith(timeLabelBytes), bytes.left(16).toHex(' ').constData());

    // The time lines are the only part not known in advance: take them from the file,
    // check them against the clock, and expect every other byte exactly.
    const QRegularExpression timeLine(
        QStringLiteral("^时间：(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3})$"),
        QRegularExpression::MultilineOption);
    QStringList times;
    for (auto it = timeLine.globalMatch(codec->toUnicode(bytes)); it.hasNext();)
        times.append(it.next().captured(1));
    QCOMPARE(times.size(), steps.size());
    QString expected;
    QDateTime previous = before;
    for (int i = 0; i < steps.size(); ++i) {
        const QDateTime at = QDateTime::fromString(times.at(i), QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz"));
        QVERIFY2(at >= previous && at <= after, qPrintable(times.at(i)));
        previous = at;
        expected += QStringLiteral("时间：%1\n方式：%2\n位置：%3\n内容：%4\n\n")
                        .arg(times.at(i), kSource, steps.at(i), texts.at(i));
    }
    QCOMPARE(files.first(),
             QStringLiteral("PayLog%1.txt").arg(times.first().left(10).remove(QLatin1Char('-'))));
    // No GBK or UTF-8 sequence holds a 0x0A byte, so the line ends can be put in afterwards.
    QCOMPARE(bytes, codec->fromUnicode(expected).replace('\n', kLineEnd));
}

void tst_LogCodePage::secretsNeverReachTheFile_data() {
    // A record's text and what the file shows of it, whether the text comes as a QString or as
    // UTF-8 bytes.
    columns<QString, QString>({"text", "shown"});
    tableRow("a member's password", QString(R"({"code":"C1","password":"123456"})"),
             QString(R"({"code":"C1","password":"******"})"));
    tableRow("names in any case, numbers too", QString(R"({"Entry_PWD":"x1","TOKEN":42})"),
             QString(R"({"Entry_PWD":"******","TOKEN":"******"})"));
    // The names compare the Unicode way: the Kelvin sign is a k, the long s an s.
    tableRow("a Kelvin sign for the k", QString(u8"{\"to\u212Aen\":\"t1\"}"),
             QString(u8"{\"to\u212Aen\":\"******\"}"));
    tableRow("long s for the s", QString(u8"{\"pa\u017F\u017Fword\":\"p\"}"),
             QString(u8"{\"pa\u017F\u017Fword\":\"******\"}"));
    tableRow("header lines", QString("Token: abc\npassword:x y"), QString("Token: ******\npassword:******"));
    tableRow("a connection string", QString("DRIVER={MySQL};PWD=s3cret;UID=pos"),
             QString("DRIVER={MySQL};PWD=******;UID=pos"));
    // The letters of a name, but no name; and a name that ends the text with nothing to hide.
    tableRow("look-alike words", QString(R"({"kword":"walk","work":"pw d","toke":"n"})"),
             QString(R"({"kword":"walk","work":"pw d","toke":"n"})"));
    tableRow("a name at the very end", QString("商品 Pwd"), QString("商品 Pwd"));
    tableRow("a sale's lines", QString(R"({"detail_list":[{"goods_name":"商品1"}]})"),
             QString(R"({"detail_list":[{"goods_name":"商品1"}]})"));
}

void tst_LogCodePage::secretsNeverReachTheFile() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    WorkDir dir;
    const PayLogger logger(kSource);
    logger.write(QStringLiteral("文本"), text);
    logger.write(QStringLiteral("字节"), text.toUtf8());
    const QString file = QString::fromUtf8(dir.readFile(QStringLiteral("LOG/") + todaysLogName()));
    const QRegularExpression content(QStringLiteral("^内容：(.*)\n\n"),
                                     QRegularExpression::MultilineOption |
                                         QRegularExpression::InvertedGreedinessOption |
                                         QRegularExpression::DotMatchesEverythingOption);
    QStringList records;
    for (auto it = content.globalMatch(file); it.hasNext();)
        records.append(it.next().captured(1));
    QCOMPARE(records, QStringList({shown, shown}));
}

void tst_LogCodePage::unwritableLogIsOnlyReported_data() {
    // A path in the way of the log, whether it is a folder, and what the logger says.
    columns<QString, bool, QString>({"blocker", "blockerIsFolder", "debugLine"});
    tableRow("LOG is a plain file", QString("LOG"), false, QString("更新日志文件夹创建失败，无法写日志"));
    tableRow("the day's file is a folder", "LOG/" + todaysLogName(), true,
             QString("更新日志文件创建失败，无法写更新日志"));
}

void tst_LogCodePage::unwritableLogIsOnlyReported() {
    QFETCH(QString, blocker);
    QFETCH(bool, blockerIsFolder);
    QFETCH(QString, debugLine);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("GBK"));

    WorkDir dir;
    const QByteArray fileContent("till notes");
    if (blockerIsFolder)
        QVERIFY(QDir(dir.path()).mkpath(blocker));
    else
        dir.writeFile(blocker, fileContent);

    const PayLogger logger(kSource);
    QTest::ignoreMessage(
        QtDebugMsg,
        QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(debugLine) + QLatin1Char('$')));
    logger.write(QStringLiteral("传入参数"), QStringLiteral("{}"));

    // Nothing of the record landed anywhere, and what was in the way is untouched.
    const QFileInfo info(dir.filePath(blocker));
    QCOMPARE(info.isDir(), blockerIsFolder);
    if (blockerIsFolder)
        QVERIFY(QDir(info.filePath()).isEmpty());
    else
        QCOMPARE(dir.readFile(blocker), fileContent);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("LOG")});
    QCOMPARE(
        QDir(dir.filePath(QStringLiteral("LOG"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
        blockerIsFolder ? 1 : 0);
}

QTEST_MAIN(tst_LogCodePage)
#include "tst_LogCodePage.moc"
