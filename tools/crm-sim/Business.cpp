#include "Business.h"

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <array>
#include <atomic>
#include <mutex>
#include <stdexcept>

namespace crmsim {

namespace {

// Bumped whenever the tables change: a state file of another layout is rebuilt from the
// demo data rather than misread.
constexpr int kSchemaVersion = 1;

const char kCompanyId[] = "C001";
// Settlements earn into the member's spending account, created on first use.
const char kEarnAccount[] = "A01";
const char kEarnAccountName[] = "消费积分";
// A sale of 200 yuan or more earns a 20 yuan voucher for the next visit, valid 30 days.
constexpr qint64 kGiftThresholdFen = 20000;
constexpr qint64 kGiftValueFen = 2000;
constexpr int kGiftDays = 30;

struct SqlFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One connection for one piece of work. The server answers on many threads and a Qt
// database connection belongs to the thread that opened it, so each request opens its
// own, under the lock that keeps requests apart.
class Session {
public:
    Session(const QString& name, const QString& path) : name_(name) {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db_.setDatabaseName(path);
        db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    ~Session() {
        if (inTransaction_)
            db_.rollback();
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void open() {
        if (!db_.open())
            throw SqlFailure(db_.lastError().text().toStdString());
        // Losing the last request to a power cut is acceptable for a stand-in; waiting
        // for the disk on every request is not.
        run(QStringLiteral("PRAGMA synchronous=OFF"));
    }
    void begin() {
        if (!db_.transaction())
            throw SqlFailure(db_.lastError().text().toStdString());
        inTransaction_ = true;
    }
    void commit() {
        if (!db_.commit())
            throw SqlFailure(db_.lastError().text().toStdString());
        inTransaction_ = false;
    }

    QSqlQuery run(const QString& sql, const QVariantList& args = {}) {
        QSqlQuery q(db_);
        if (!q.prepare(sql))
            throw SqlFailure((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
        for (const QVariant& a : args) {
            // A null QString would be bound as SQL NULL; our texts are never NULL, only empty.
            const bool nullText = a.userType() == QMetaType::QString && a.toString().isNull();
            q.addBindValue(nullText ? QVariant(QStringLiteral("")) : a);
        }
        if (!q.exec())
            throw SqlFailure((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
        return q;
    }
    // First column of the first row; invalid when there is no row.
    QVariant one(const QString& sql, const QVariantList& args = {}) {
        QSqlQuery q = run(sql, args);
        return q.next() ? q.value(0) : QVariant();
    }

private:
    QString name_;
    QSqlDatabase db_;
    bool inTransaction_ = false;
};

// --- Replies -------------------------------------------------------------------------

QJsonObject refuse(const QString& msg) {
    return QJsonObject{{"result_code", "0"}, {"result_msg", msg}};
}

bool accepted(const QJsonObject& data) {
    return data.value(QLatin1String("result_code")).toString() == QLatin1String("1");
}

QJsonObject accept(QJsonObject fields = {}, const QString& msg = QStringLiteral("成功")) {
    fields.insert("result_code", "1");
    fields.insert("result_msg", msg);
    return fields;
}

QByteArray envelope(const QJsonObject& data) {
    return QJsonDocument(QJsonObject{{"data", data}}).toJson(QJsonDocument::Compact);
}

Reply page(int status, const QByteArray& html) {
    Reply r;
    r.status = status;
    r.body = html;
    r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html;charset=utf-8")));
    return r;
}

// --- Values ----------------------------------------------------------------------------

// Request values are read as text whatever JSON type the till used.
QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toVariant().toString().trimmed();
}

// Money is kept in fen; 100 points are worth one yuan, so a point is worth one fen.
qint64 toFen(const QString& amount) {
    bool ok = false;
    const double v = amount.toDouble(&ok);
    return ok ? qRound64(v * 100) : 0;
}

QString money(qint64 fen) {
    return QString::number(fen / 100.0, 'f', 2);
}

// A face value as printed on the voucher: "20", or "7.50" when it has fen.
QString faceValue(qint64 fen) {
    return fen % 100 == 0 ? QString::number(fen / 100) : money(fen);
}

QString today() {
    return QDate::currentDate().toString(Qt::ISODate);
}

QString newToken() {
    std::array<quint32, 4> words;
    QRandomGenerator::system()->fillRange(words.data(), int(words.size()));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words.data()), int(sizeof(words))).toHex());
}

// --- State -----------------------------------------------------------------------------

const char* const kTables[] = {"store",      "device",     "member",      "account",  "coupon",
                               "settlement", "points_pay", "points_move", "writeoff", "counter"};

void createTables(Session& s) {
    const char* const ddl[] = {
        "CREATE TABLE store (serial_num TEXT PRIMARY KEY, shop_id TEXT NOT NULL, entry_pwd TEXT NOT NULL, "
        "status TEXT NOT NULL)",
        "CREATE TABLE device (device_id TEXT PRIMARY KEY, serial_num TEXT NOT NULL, "
        "token TEXT NOT NULL DEFAULT '')",
        "CREATE TABLE member (member_id TEXT PRIMARY KEY, cardno TEXT NOT NULL, name TEXT NOT NULL, "
        "mobile TEXT NOT NULL, grade_level TEXT NOT NULL, grade_name TEXT NOT NULL, birthday TEXT NOT NULL, "
        "address TEXT NOT NULL, password TEXT NOT NULL DEFAULT '')",
        "CREATE TABLE account (member_id TEXT NOT NULL, action_no TEXT NOT NULL, action_name TEXT NOT NULL, "
        "points INTEGER NOT NULL, PRIMARY KEY (member_id, action_no))",
        // used_order: the order that wrote the coupon off, empty while it is unused.
        "CREATE TABLE coupon (coupon_no TEXT PRIMARY KEY, ticket_name TEXT NOT NULL, "
        "value_fen INTEGER NOT NULL, owner TEXT NOT NULL DEFAULT '', begin_date TEXT NOT NULL, "
        "end_date TEXT NOT NULL, remark TEXT NOT NULL DEFAULT '', used_order TEXT NOT NULL DEFAULT '')",
        "CREATE TABLE settlement (order_id TEXT PRIMARY KEY, member_id TEXT NOT NULL, "
        "score INTEGER NOT NULL, coupon_no TEXT NOT NULL DEFAULT '')",
        // points > 0 always; type "1" took them from the member, "-1" gave them back.
        "CREATE TABLE points_pay (order_id TEXT NOT NULL, type TEXT NOT NULL, member_id TEXT NOT NULL, "
        "sorder_id TEXT NOT NULL, points INTEGER NOT NULL, PRIMARY KEY (order_id, type))",
        // Which accounts a points payment touched, so that a refund goes back to them.
        "CREATE TABLE points_move (order_id TEXT NOT NULL, type TEXT NOT NULL, seq INTEGER NOT NULL, "
        "action_no TEXT NOT NULL, points INTEGER NOT NULL)",
        "CREATE TABLE writeoff (order_id TEXT NOT NULL, seq INTEGER NOT NULL, coupon_no TEXT NOT NULL, "
        "payflow TEXT NOT NULL, PRIMARY KEY (order_id, seq))",
        "CREATE TABLE counter (name TEXT PRIMARY KEY, value INTEGER NOT NULL)",
    };
    for (const char* sql : ddl)
        s.run(QString::fromUtf8(sql));
}

void loadDemoData(Session& s) {
    s.run("INSERT INTO store VALUES ('0101', 'S0101', 'pw0101', '1'), ('0999', 'S0999', 'pw0999', '0')");
    s.run("INSERT INTO device (device_id, serial_num) VALUES ('POS01', '0101')");

    s.run(QStringLiteral(
        "INSERT INTO member VALUES "
        "('M1001', '8800001', '张三', '13800000001', 'G1', '金卡', '1990-05-01', '深圳市南山区科技园', ''), "
        "('M1002', '8800002', '李四', '13900000002', 'G2', '银卡', '1985-11-20', '广州市天河区', '123456'), "
        "('M1003', '8800003', '王五', '13700000003', 'G1', '金卡', '1979-02-14', '北京市朝阳区', ''), "
        "('M1004', '8800004', '王小五', '13700000003', 'G3', '普通卡', '2001-07-07', '北京市海淀区', '')"));
    s.run(QStringLiteral("INSERT INTO account VALUES "
                         "('M1001', 'A01', '消费积分', 1200), ('M1001', 'A02', '活动积分', 300), "
                         "('M1002', 'A01', '消费积分', 5000), ('M1003', 'A01', '消费积分', 500), "
                         "('M1004', 'A01', '消费积分', 0)"));

    const QDate now = QDate::currentDate();
    const QString from = now.addDays(-30).toString(Qt::ISODate);
    const QString until = now.addDays(365).toString(Qt::ISODate);
    const QString lapsedFrom = now.addDays(-90).toString(Qt::ISODate);
    const QString lapsed = now.addDays(-1).toString(Qt::ISODate);
    const QString insert = QStringLiteral("INSERT INTO coupon VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    s.run(insert, {"Q0001", "满100减10", 1000, "", from, until, "全场通用", ""});
    s.run(insert, {"Q0002", "代金券20元", 2000, "", from, until, "全场通用", ""});
    s.run(insert, {"Q0003", "代金券5元", 500, "", from, until, "全场通用", "DEMO-USED"});
    s.run(insert, {"Q0004", "过期券", 1000, "", lapsedFrom, lapsed, "全场通用", ""});
    s.run(insert, {"Q0005", "会员专享券", 1500, "M1002", from, until, "仅限本人使用", ""});

    s.run("INSERT INTO counter VALUES ('writeoff', 0), ('coupon', 0)");
}

void rebuild(Session& s) {
    s.begin();
    for (const char* table : kTables)
        s.run(QStringLiteral("DROP TABLE IF EXISTS ") + QLatin1String(table));
    createTables(s);
    loadDemoData(s);
    s.run(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    s.commit();
}

qint64 nextNumber(Session& s, const char* counter) {
    s.run("UPDATE counter SET value = value + 1 WHERE name = ?", {counter});
    return s.one("SELECT value FROM counter WHERE name = ?", {counter}).toLongLong();
}

bool memberExists(Session& s, const QString& memberId) {
    return s.one("SELECT 1 FROM member WHERE member_id = ?", {memberId}).isValid();
}

qint64 memberPoints(Session& s, const QString& memberId) {
    return s.one("SELECT COALESCE(SUM(points), 0) FROM account WHERE member_id = ?", {memberId}).toLongLong();
}

void earnPoints(Session& s, const QString& memberId, qint64 points) {
    s.run("INSERT OR IGNORE INTO account VALUES (?, ?, ?, 0)", {memberId, kEarnAccount, kEarnAccountName});
    s.run("UPDATE account SET points = points + ? WHERE member_id = ? AND action_no = ?",
          {points, memberId, kEarnAccount});
}

struct Coupon {
    bool known = false;
    QString no, name, owner, begin, end, remark, usedOrder;
    qint64 valueFen = 0;
};

Coupon loadCoupon(Session& s, const QString& no) {
    QSqlQuery q = s.run("SELECT ticket_name, value_fen, owner, begin_date, end_date, remark, used_order "
                        "FROM coupon WHERE coupon_no = ?",
                        {no});
    Coupon c;
    c.no = no;
    if (!q.next())
        return c;
    c.known = true;
    c.name = q.value(0).toString();
    c.valueFen = q.value(1).toLongLong();
    c.owner = q.value(2).toString();
    c.begin = q.value(3).toString();
    c.end = q.value(4).toString();
    c.remark = q.value(5).toString();
    c.usedOrder = q.value(6).toString();
    return c;
}

// Why the member cannot use the coupon today; empty when he can.
QString couponRefusal(const Coupon& c, const QString& memberId) {
    if (!c.known)
        return QStringLiteral("券不存在");
    if (!c.usedOrder.isEmpty())
        return QStringLiteral("券已使用");
    const QString day = today();
    if (day > c.end)
        return QStringLiteral("券已过期");
    if (day < c.begin)
        return QStringLiteral("券未到使用日期");
    if (!c.owner.isEmpty() && c.owner != memberId)
        return QStringLiteral("券不属于该会员");
    return QString();
}

QJsonObject couponInfo(const Coupon& c) {
    return QJsonObject{{"ticket_name", c.name}, {"ticket_value", faceValue(c.valueFen)},
                       {"coupon_no", c.no},     {"begin_date", c.begin},
                       {"end_date", c.end},     {"remark", c.remark}};
}

// --- Transactions ----------------------------------------------------------------------

QJsonObject signIn(Session& s, const QJsonObject& body) {
    const QString serial = text(body, "serial_num");
    const QString device = text(body, "device_id");
    QSqlQuery store = s.run("SELECT shop_id, entry_pwd, status FROM store WHERE serial_num = ?", {serial});
    if (!store.next())
        return refuse(QStringLiteral("门店不存在"));
    // A disabled store is told so, with no token: its tills must not trade.
    if (store.value(2).toString() != QLatin1String("1"))
        return accept({{"status", store.value(2).toString()}}, QStringLiteral("门店已停用"));
    const QVariant home = s.one("SELECT serial_num FROM device WHERE device_id = ?", {device});
    if (!home.isValid())
        return refuse(QStringLiteral("设备未注册"));
    if (home.toString() != serial)
        return refuse(QStringLiteral("设备不属于该门店"));
    if (body.value("entry_pwd").toVariant().toString() != store.value(1).toString())
        return refuse(QStringLiteral("签到密码错误"));
    // Each sign-in replaces the device's token; the previous one stops working.
    const QString token = newToken();
    s.run("UPDATE device SET token = ? WHERE device_id = ?", {token, device});
    return accept({{"status", "1"}, {"token", token}, {"shop_id", store.value(0).toString()}},
                  QStringLiteral("签到成功"));
}

// Empty when the request comes from a signed-in till of our company.
QJsonObject credentialsRefusal(Session& s, const Request& req) {
    if (req.header("CompanyId") != kCompanyId)
        return refuse(QStringLiteral("公司ID无效"));
    const QVariant token =
        s.one("SELECT token FROM device WHERE device_id = ?", {QString::fromUtf8(req.header("DeviceId"))});
    if (!token.isValid())
        return refuse(QStringLiteral("设备未注册"));
    if (token.toString().isEmpty() || token.toString() != QString::fromUtf8(req.header("Token")))
        return refuse(QStringLiteral("token无效，请重新签到"));
    return QJsonObject();
}

QJsonObject findMembers(Session& s, const QJsonObject& body) {
    const QString key = text(body, "cardno");
    QJsonArray found;
    if (key.isEmpty())
        return accept({{"memberinfo", found}});
    QSqlQuery members =
        s.run("SELECT member_id, cardno, grade_level, grade_name, name, birthday, mobile, address "
              "FROM member WHERE cardno = ? OR mobile = ? OR member_id = ? OR name = ? "
              "ORDER BY member_id",
              {key, key, key, key});
    while (members.next()) {
        const QString id = members.value(0).toString();
        QJsonArray accounts;
        QSqlQuery acc =
            s.run("SELECT action_no, action_name, points FROM account WHERE member_id = ? ORDER BY action_no",
                  {id});
        while (acc.next()) {
            const qint64 points = acc.value(2).toLongLong();
            accounts.append(QJsonObject{{"action_no", acc.value(0).toString()},
                                        {"action_name", acc.value(1).toString()},
                                        {"score_value", QString::number(points)},
                                        {"score_cash", money(points)}});
        }
        found.append(QJsonObject{{"member_id", id},
                                 {"cardno", members.value(1).toString()},
                                 {"grade_level", members.value(2).toString()},
                                 {"grade_name", members.value(3).toString()},
                                 {"member_name", members.value(4).toString()},
                                 {"birthday", members.value(5).toString()},
                                 {"mobile", members.value(6).toString()},
                                 {"address", members.value(7).toString()},
                                 {"actionlist", accounts}});
    }
    return accept({{"memberinfo", found}});
}

QJsonObject checkPassword(Session& s, const QJsonObject& body) {
    const QVariant password =
        s.one("SELECT password FROM member WHERE member_id = ?", {text(body, "member_id")});
    if (!password.isValid())
        return refuse(QStringLiteral("会员不存在"));
    // A member who never set a password passes with an empty one, and only with that.
    if (body.value("password").toVariant().toString() != password.toString())
        return refuse(QStringLiteral("密码错误"));
    return accept();
}

QJsonObject settledReply(Session& s, const QString& memberId, qint64 score, const QString& giftNo) {
    QJsonObject fields{{"score", QString::number(score)},
                       {"score_value", QString::number(memberPoints(s, memberId))}};
    if (!giftNo.isEmpty())
        fields.insert("couponInfo", QJsonArray{couponInfo(loadCoupon(s, giftNo))});
    return accept(fields);
}

QJsonObject settle(Session& s, const QJsonObject& body) {
    const QString order = text(body, "order_id");
    if (order.isEmpty())
        return refuse(QStringLiteral("order_id不能为空"));
    // A till that retries after a time-out gets the first answer again.
    QSqlQuery done = s.run("SELECT member_id, score, coupon_no FROM settlement WHERE order_id = ?", {order});
    if (done.next())
        return settledReply(s, done.value(0).toString(), done.value(1).toLongLong(),
                            done.value(2).toString());

    const QString memberId = text(body, "member_id");
    if (!memberExists(s, memberId))
        return refuse(QStringLiteral("会员不存在"));
    // One point per whole yuan paid; a return takes them back and earns no voucher.
    const bool isReturn = text(body, "sale_type") == QLatin1String("2");
    const qint64 paidFen = qAbs(toFen(text(body, "value")));
    const qint64 score = isReturn ? -(paidFen / 100) : paidFen / 100;
    if (score != 0)
        earnPoints(s, memberId, score);
    QString giftNo;
    if (!isReturn && paidFen >= kGiftThresholdFen) {
        giftNo = QStringLiteral("Q9%1").arg(nextNumber(s, "coupon"), 4, 10, QLatin1Char('0'));
        const QDate now = QDate::currentDate();
        s.run("INSERT INTO coupon VALUES (?, '满200送20', ?, ?, ?, ?, '下次消费可用', '')",
              {giftNo, kGiftValueFen, memberId, now.toString(Qt::ISODate),
               now.addDays(kGiftDays).toString(Qt::ISODate)});
    }
    s.run("INSERT INTO settlement VALUES (?, ?, ?, ?)", {order, memberId, score, giftNo});
    return settledReply(s, memberId, score, giftNo);
}

QJsonObject queryCoupon(Session& s, const QJsonObject& body) {
    const Coupon c = loadCoupon(s, text(body, "coupon_no"));
    if (!c.known)
        return refuse(QStringLiteral("券不存在"));
    QJsonObject info = couponInfo(c);
    // "1" unused, "2" written off, "3" outside its dates; whose it is shows in the check.
    const QString day = today();
    info.insert("status", !c.usedOrder.isEmpty() ? "2" : (day < c.begin || day > c.end) ? "3" : "1");
    return accept({{"couponInfo", info}});
}

QJsonObject checkCoupons(Session& s, const QJsonObject& body) {
    const QJsonArray list = body.value("coupon_list").toArray();
    if (list.isEmpty())
        return refuse(QStringLiteral("coupon_list不能为空"));
    const QString memberId = text(body, "member_id");
    // Coupons cover the sale in the order given, each as far as the sale has not been
    // covered yet; one that would cover nothing is not used at all.
    qint64 leftFen = qMax<qint64>(0, toFen(text(body, "s_value")));
    QSet<QString> seen;
    QJsonArray verdicts;
    for (const QJsonValue& v : list) {
        const QString no = text(v.toObject(), "coupon_no");
        const Coupon c = loadCoupon(s, no);
        const bool twice = seen.contains(no);
        seen.insert(no);
        qint64 payFen = 0;
        if (!twice && couponRefusal(c, memberId).isEmpty())
            payFen = qMin(c.valueFen, leftFen);
        leftFen -= payFen;
        verdicts.append(QJsonObject{
            {"coupon_no", no}, {"useflag", payFen > 0 ? "1" : "0"}, {"pay_value", money(payFen)}});
    }
    return accept({{"coupon_list", verdicts}});
}

QJsonObject pointsPaidReply(Session& s, const QString& memberId, const QString& type, qint64 points) {
    const qint64 signedPoints = type == QLatin1String("1") ? -points : points;
    return accept({{"score", QString::number(signedPoints)},
                   {"score_value", QString::number(memberPoints(s, memberId))}});
}

QJsonObject payByPoints(Session& s, const QJsonObject& body) {
    const QString order = text(body, "order_id");
    const QString type = text(body, "type");
    if (order.isEmpty())
        return refuse(QStringLiteral("order_id不能为空"));
    if (type != QLatin1String("1") && type != QLatin1String("-1"))
        return refuse(QStringLiteral("type无效"));
    QSqlQuery done =
        s.run("SELECT member_id, points FROM points_pay WHERE order_id = ? AND type = ?", {order, type});
    if (done.next())
        return pointsPaidReply(s, done.value(0).toString(), type, done.value(1).toLongLong());

    const QString memberId = text(body, "member_id");
    if (!memberExists(s, memberId))
        return refuse(QStringLiteral("会员不存在"));
    const qint64 points = toFen(text(body, "score_cash"));
    if (points <= 0)
        return refuse(QStringLiteral("积分支付金额无效"));

    // Per account: how many points the payment took, or how many the refund may give back.
    QList<QPair<QString, qint64>> accounts;
    QString original;
    if (type == QLatin1String("1")) {
        if (memberPoints(s, memberId) < points)
            return refuse(QStringLiteral("积分不足"));
        QSqlQuery q = s.run("SELECT action_no, points FROM account WHERE member_id = ? AND points > 0 "
                            "ORDER BY action_no",
                            {memberId});
        while (q.next())
            accounts.append(qMakePair(q.value(0).toString(), q.value(1).toLongLong()));
    } else {
        original = text(body, "sorder_id");
        QSqlQuery paid =
            s.run("SELECT member_id, points FROM points_pay WHERE order_id = ? AND type = '1'", {original});
        if (original.isEmpty() || !paid.next())
            return refuse(QStringLiteral("原订单无积分支付记录"));
        if (paid.value(0).toString() != memberId)
            return refuse(QStringLiteral("会员与原订单不符"));
        // Several partial refunds may follow one payment, never more than it took.
        const qint64 refunded = s.one("SELECT COALESCE(SUM(points), 0) FROM points_pay "
                                      "WHERE sorder_id = ? AND type = '-1'",
                                      {original})
                                    .toLongLong();
        if (refunded + points > paid.value(1).toLongLong())
            return refuse(QStringLiteral("退还积分超过原支付积分"));
        // Back into the accounts the payment was taken from, each up to what it gave.
        QSqlQuery q =
            s.run("SELECT m.action_no, m.points - COALESCE((SELECT SUM(r.points) FROM points_move r "
                  "JOIN points_pay p ON p.order_id = r.order_id AND p.type = r.type "
                  "WHERE p.sorder_id = ? AND p.type = '-1' AND r.action_no = m.action_no), 0) "
                  "FROM points_move m WHERE m.order_id = ? AND m.type = '1' ORDER BY m.seq",
                  {original, original});
        while (q.next())
            accounts.append(qMakePair(q.value(0).toString(), q.value(1).toLongLong()));
    }
    const qint64 sign = type == QLatin1String("1") ? -1 : 1;
    qint64 due = points;
    for (int seq = 0; seq < accounts.size() && due > 0; ++seq) {
        const qint64 part = qMin(due, accounts.at(seq).second);
        if (part <= 0)
            continue;
        s.run("INSERT INTO points_move VALUES (?, ?, ?, ?, ?)",
              {order, type, seq, accounts.at(seq).first, part});
        s.run("UPDATE account SET points = points + ? WHERE member_id = ? AND action_no = ?",
              {sign * part, memberId, accounts.at(seq).first});
        due -= part;
    }
    s.run("INSERT INTO points_pay VALUES (?, ?, ?, ?, ?)", {order, type, memberId, original, points});
    return pointsPaidReply(s, memberId, type, points);
}

QJsonObject writeOffReply(Session& s, const QString& order) {
    QJsonArray written;
    QSqlQuery q = s.run("SELECT coupon_no, payflow FROM writeoff WHERE order_id = ? ORDER BY seq", {order});
    while (q.next())
        written.append(QJsonObject{{"coupon_no", q.value(0).toString()}, {"payflow", q.value(1).toString()}});
    return accept({{"coupon_list", written}});
}

QJsonObject writeOff(Session& s, const QJsonObject& body) {
    const QString order = text(body, "order_id");
    if (order.isEmpty())
        return refuse(QStringLiteral("order_id不能为空"));
    if (s.one("SELECT 1 FROM writeoff WHERE order_id = ?", {order}).isValid())
        return writeOffReply(s, order);

    const QString memberId = text(body, "member_id");
    QStringList coupons;
    for (const QJsonValue& v : body.value("coupon_list").toArray())
        coupons.append(text(v.toObject(), "coupon_no"));
    if (coupons.isEmpty())
        return refuse(QStringLiteral("未提交核销券"));
    // All or nothing: one coupon that cannot be used refuses the whole set.
    for (int i = 0; i < coupons.size(); ++i) {
        if (coupons.indexOf(coupons.at(i)) != i)
            return refuse(QStringLiteral("券重复: ") + coupons.at(i));
        const QString why = couponRefusal(loadCoupon(s, coupons.at(i)), memberId);
        if (!why.isEmpty())
            return refuse(why + QStringLiteral(": ") + coupons.at(i));
    }
    for (int i = 0; i < coupons.size(); ++i) {
        const QString payflow =
            QStringLiteral("WO%1").arg(nextNumber(s, "writeoff"), 8, 10, QLatin1Char('0'));
        s.run("UPDATE coupon SET used_order = ? WHERE coupon_no = ?", {order, coupons.at(i)});
        s.run("INSERT INTO writeoff VALUES (?, ?, ?, ?)", {order, i, coupons.at(i), payflow});
    }
    return writeOffReply(s, order);
}

using Transaction = QJsonObject (*)(Session&, const QJsonObject&);

Transaction transactionFor(const QByteArray& txcode) {
    static const QHash<QByteArray, Transaction> table{
        {"pmb001", findMembers},  {"pmb002", checkPassword}, {"pmb021", settle},   {"pmb010", queryCoupon},
        {"pmb011", checkCoupons}, {"pmb020", payByPoints},   {"pmb023", writeOff},
    };
    return table.value(txcode, nullptr);
}

} // namespace

struct Business::Impl {
    std::mutex m; // one request, open or reset at a time
    QString path; // empty until opened
    std::unique_ptr<QTemporaryDir> scratch;
    QString connection;

    std::atomic<int> latencyMs{0};
    std::mutex faultsMutex;
    QHash<QByteArray, Fault> faults;

    Reply serve(const Request& req);
    QJsonObject answer(Session& s, const Request& req);
};

QJsonObject Business::Impl::answer(Session& s, const Request& req) {
    const Transaction tx = req.txcode == "sig999" ? signIn : transactionFor(req.txcode);
    if (!tx)
        return refuse(QStringLiteral("不支持的交易码: ") + QString::fromUtf8(req.txcode));
    if (tx != signIn) {
        const QJsonObject refusal = credentialsRefusal(s, req);
        if (!refusal.isEmpty())
            return refusal;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(req.body);
    if (!doc.isObject())
        return refuse(QStringLiteral("请求报文格式错误"));
    return tx(s, doc.object());
}

Business::Business() : d(new Impl) {
    d->connection = QStringLiteral("crmsim-business-%1").arg(quintptr(this), 0, 16);
}

Business::~Business() = default;

bool Business::open(const QString& stateFile, QString* error) {
    std::lock_guard<std::mutex> lock(d->m);
    d->path.clear();
    d->scratch.reset();
    QString path;
    if (stateFile == QLatin1String(":memory:")) {
        // Each request has a connection of its own, and every connection to ":memory:"
        // would see an empty database; a private file that goes with us does the same job.
        d->scratch = std::make_unique<QTemporaryDir>();
        if (!d->scratch->isValid()) {
            if (error)
                *error = d->scratch->errorString();
            return false;
        }
        path = d->scratch->filePath(QStringLiteral("crm-state.db"));
    } else {
        path = QFileInfo(stateFile).absoluteFilePath();
    }
    try {
        Session s(d->connection, path);
        s.open();
        if (s.one("PRAGMA user_version").toInt() != kSchemaVersion)
            rebuild(s);
    } catch (const SqlFailure& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return false;
    }
    d->path = path;
    return true;
}

bool Business::reset(QString* error) {
    std::lock_guard<std::mutex> lock(d->m);
    if (d->path.isEmpty()) {
        if (error)
            *error = QStringLiteral("no state file open");
        return false;
    }
    try {
        Session s(d->connection, d->path);
        s.open();
        rebuild(s);
    } catch (const SqlFailure& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

Reply Business::Impl::serve(const Request& req) {
    if (req.method != "POST")
        return Reply::json(R"({"error":"method not allowed"})", 405);
    if (!req.path.endsWith("/txCtrl"))
        return Reply::json(R"({"error":"not found"})", 404);
    std::lock_guard<std::mutex> lock(m);
    if (path.isEmpty())
        return Reply::json(R"({"error":"no state file open"})", 503);
    QJsonObject data;
    try {
        Session s(connection, path);
        s.open();
        s.begin();
        data = answer(s, req);
        // A refused request leaves no trace.
        if (accepted(data))
            s.commit();
    } catch (const SqlFailure& e) {
        data = refuse(QStringLiteral("系统错误: ") + QString::fromUtf8(e.what()));
    }
    return Reply::json(envelope(data));
}

Reply Business::handle(const Request& req) {
    Fault fault = Fault::None;
    {
        std::lock_guard<std::mutex> lock(d->faultsMutex);
        fault = d->faults.value(req.txcode, Fault::None);
    }
    Reply reply;
    switch (fault) {
    case Fault::Hang:
        reply.hang = true;
        break;
    case Fault::Http500:
        reply = page(500, "<html><body><h1>500 Internal Server Error</h1></body></html>");
        break;
    case Fault::NotJson:
        reply = page(200, "<html><body>Service temporarily unavailable</body></html>");
        break;
    case Fault::None:
        reply = d->serve(req);
        break;
    case Fault::Drop:
        reply = d->serve(req);
        reply.drop = true;
        break;
    }
    reply.delayMs = d->latencyMs.load();
    return reply;
}

void Business::setLatency(int ms) {
    d->latencyMs = qMax(0, ms);
}

void Business::setFault(const QByteArray& txcode, Fault f) {
    std::lock_guard<std::mutex> lock(d->faultsMutex);
    if (f == Fault::None)
        d->faults.remove(txcode);
    else
        d->faults.insert(txcode, f);
}

} // namespace crmsim
