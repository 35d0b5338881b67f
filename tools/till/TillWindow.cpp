#include "TillWindow.h"

#include "PluginHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString kOk = QStringLiteral("111111");

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString today() {
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QPushButton* actionButton(const QString& caption, const QString& name) {
    auto* button = new QPushButton(caption);
    button->setObjectName(name);
    button->setProperty("role", QStringLiteral("action"));
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumHeight(52);
    return button;
}

} // namespace

bool CallResult::ok() const {
    return code() == kOk;
}

QString CallResult::code() const {
    return json.contains(QStringLiteral("rtncode")) ? value(QStringLiteral("rtncode"))
                                                    : value(QStringLiteral("RtnCode"));
}

QString CallResult::message() const {
    return json.contains(QStringLiteral("rtnmsg")) ? value(QStringLiteral("rtnmsg"))
                                                   : value(QStringLiteral("RtnMsg"));
}

QString CallResult::value(const QString& key) const {
    return json.value(key).toString();
}

TillWindow::TillWindow(PluginHost& plugin, QWidget* parent)
    : QWidget(parent), m_plugin(plugin),
      m_session(QDateTime::currentDateTime().toString(QStringLiteral("yyMMddhhmmss"))) {
    setObjectName(QStringLiteral("TillWindow"));
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(QStringLiteral("ZoVORDA 演示收银台"));
    buildUi();
    newSale();
}

void TillWindow::buildUi() {
    auto* header = new QLabel(
        QStringLiteral("ZoVORDA 演示收银台    门店 %1 · 机号 %2 · 收银员 %3 · %4")
            .arg(QLatin1String(kStore), QLatin1String(kStation), QLatin1String(kOperator), today()));
    header->setObjectName(QStringLiteral("tillHeader"));

    m_billLabel = new QLabel;
    m_billLabel->setObjectName(QStringLiteral("tillBill"));
    m_memberLabel = new QLabel;
    m_memberLabel->setObjectName(QStringLiteral("tillMember"));

    m_basket = new QTableWidget(0, 4);
    m_basket->setObjectName(QStringLiteral("tillBasket"));
    m_basket->setHorizontalHeaderLabels(
        {QStringLiteral("商品"), QStringLiteral("单价"), QStringLiteral("数量"), QStringLiteral("金额")});
    m_basket->verticalHeader()->hide();
    m_basket->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_basket->setSelectionMode(QAbstractItemView::NoSelection);
    m_basket->setFocusPolicy(Qt::NoFocus);
    m_basket->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        m_basket->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    auto* products = new QGridLayout;
    products->setSpacing(6);
    for (int i = 0; i < catalogue().size(); ++i) {
        const Product& product = catalogue().at(i);
        auto* button = new QPushButton(QStringLiteral("%1\n¥%2").arg(product.name, money(product.price)));
        button->setProperty("role", QStringLiteral("product"));
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, i] { addProduct(i); });
        products->addWidget(button, i / 3, i % 3);
    }

    m_paysLabel = new QLabel;
    m_paysLabel->setObjectName(QStringLiteral("tillPays"));
    m_totalsLabel = new QLabel;
    m_totalsLabel->setObjectName(QStringLiteral("tillTotals"));

    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    left->addWidget(m_billLabel);
    left->addWidget(m_memberLabel);
    left->addWidget(m_basket, 1);
    left->addLayout(products);
    left->addWidget(m_paysLabel);
    left->addWidget(m_totalsLabel);

    m_codeEdit = new QLineEdit;
    m_codeEdit->setObjectName(QStringLiteral("tillCode"));
    m_codeEdit->setPlaceholderText(QStringLiteral("卡号/手机号，空则询问"));
    m_passwordBox = new QCheckBox(QStringLiteral("验证会员密码"));
    m_passwordBox->setObjectName(QStringLiteral("tillPassword"));

    QPushButton* lookup = actionButton(QStringLiteral("会员查询"), QStringLiteral("btnLookup"));
    QPushButton* points = actionButton(QStringLiteral("积分支付"), QStringLiteral("btnPoints"));
    QPushButton* coupons = actionButton(QStringLiteral("券支付"), QStringLiteral("btnCoupons"));
    QPushButton* settle = actionButton(QStringLiteral("结算"), QStringLiteral("btnSettle"));
    QPushButton* refund = actionButton(QStringLiteral("退货"), QStringLiteral("btnRefund"));
    QPushButton* manage = actionButton(QStringLiteral("会员管理/签到"), QStringLiteral("btnManage"));
    QPushButton* fresh = actionButton(QStringLiteral("新单"), QStringLiteral("btnNewSale"));
    QPushButton* lastCall = actionButton(QStringLiteral("报文"), QStringLiteral("btnLastCall"));
    // Under a bare X server (Xvfb, no window manager) the window has no close button:
    // the key ends the till as cleanly as closing it would.
    QPushButton* quit = actionButton(QStringLiteral("退出 Ctrl+Q"), QStringLiteral("btnQuit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    settle->setProperty("role", QStringLiteral("primary"));
    connect(lookup, &QPushButton::clicked, this, &TillWindow::onLookup);
    connect(points, &QPushButton::clicked, this, &TillWindow::onPoints);
    connect(coupons, &QPushButton::clicked, this, &TillWindow::onCoupons);
    connect(settle, &QPushButton::clicked, this, &TillWindow::onSettle);
    connect(refund, &QPushButton::clicked, this, &TillWindow::onRefund);
    connect(manage, &QPushButton::clicked, this, [this] { memberManagement(); });
    connect(fresh, &QPushButton::clicked, this, &TillWindow::newSale);
    connect(lastCall, &QPushButton::clicked, this, &TillWindow::onShowLastCall);
    connect(quit, &QPushButton::clicked, qApp, &QCoreApplication::quit);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(6);
    buttons->addWidget(m_codeEdit, 0, 0, 1, 2);
    buttons->addWidget(m_passwordBox, 1, 0, 1, 2);
    buttons->addWidget(lookup, 2, 0);
    buttons->addWidget(manage, 2, 1);
    buttons->addWidget(points, 3, 0);
    buttons->addWidget(coupons, 3, 1);
    buttons->addWidget(refund, 4, 0);
    buttons->addWidget(fresh, 4, 1);
    buttons->addWidget(lastCall, 5, 0);
    buttons->addWidget(settle, 5, 1);
    buttons->addWidget(quit, 6, 0, 1, 2);
    buttons->setRowStretch(7, 1);

    m_statusLabel = new QLabel;
    m_statusLabel->setObjectName(QStringLiteral("tillStatus"));
    m_statusLabel->setWordWrap(true);
    buttons->addWidget(m_statusLabel, 8, 0, 1, 2);

    auto* rightPanel = new QWidget;
    rightPanel->setObjectName(QStringLiteral("tillSide"));
    rightPanel->setFixedWidth(270);
    rightPanel->setLayout(buttons);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(10, 8, 10, 0);
    middle->setSpacing(10);
    middle->addLayout(left, 1);
    middle->addWidget(rightPanel);

    m_console = new QPlainTextEdit;
    m_console->setObjectName(QStringLiteral("tillConsole"));
    m_console->setReadOnly(true);
    m_console->setFocusPolicy(Qt::NoFocus);
    m_console->setFixedHeight(96);
    m_console->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_console->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 8);
    root->setSpacing(6);
    root->addWidget(header);
    root->addLayout(middle, 1);
    auto* consoleRow = new QHBoxLayout;
    consoleRow->setContentsMargins(10, 0, 10, 0);
    consoleRow->addWidget(m_console);
    root->addLayout(consoleRow);
}

QString TillWindow::nextNumber() {
    return QStringLiteral("%1%2").arg(m_session).arg(++m_counter, 3, 10, QLatin1Char('0'));
}

void TillWindow::newSale() {
    m_sale = Sale();
    m_sale.billNo = nextNumber();
    m_sale.saleNo = QStringLiteral("%1").arg(m_counter, 4, 10, QLatin1Char('0'));
    m_sale.startTime = now();
    say(QStringLiteral("新单 %1").arg(m_sale.billNo), true);
    refresh();
}

void TillWindow::addProduct(int catalogueIndex, double quantity) {
    if (catalogueIndex < 0 || catalogueIndex >= catalogue().size() || !m_sale.refundOf.isEmpty())
        return;
    const Product& product = catalogue().at(catalogueIndex);
    for (BasketLine& line : m_sale.lines) {
        if (line.product.id == product.id) {
            line.quantity += quantity;
            refresh();
            return;
        }
    }
    m_sale.lines.append({product, quantity});
    refresh();
}

const Sale* TillWindow::findSale(const QString& billNo) const {
    for (const Sale& sale : m_journal) {
        if (sale.billNo == billNo)
            return &sale;
    }
    return nullptr;
}

void TillWindow::refresh() {
    const bool refund = !m_sale.refundOf.isEmpty();
    m_billLabel->setText(refund ? QStringLiteral("退货单 %1（原单 %2）").arg(m_sale.billNo, m_sale.refundOf)
                                : QStringLiteral("销售单 %1").arg(m_sale.billNo));
    const Member& member = m_sale.member;
    if (member.isEmpty()) {
        m_memberLabel->setText(QStringLiteral("会员：未登录"));
    } else {
        const QString points = member.score.isEmpty()
                                   ? QStringLiteral("积分 —（本地会员库）")
                                   : QStringLiteral("积分 %1（可抵 ¥%2）").arg(member.score, member.balance);
        m_memberLabel->setText(
            QStringLiteral("会员：%1  %2  卡号 %3  %4").arg(member.name, member.grade, member.code, points));
    }

    m_basket->setRowCount(m_sale.lines.size());
    for (int row = 0; row < m_sale.lines.size(); ++row) {
        const BasketLine& line = m_sale.lines.at(row);
        const QStringList cells = {line.product.name, money(line.product.price),
                                   QString::number(line.quantity, 'g', 6), money(line.amount())};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                               : Qt::AlignRight | Qt::AlignVCenter);
            m_basket->setItem(row, column, item);
        }
    }

    QStringList pays;
    for (const PayLine& pay : m_sale.pays) {
        QString text = QStringLiteral("%1 ¥%2").arg(Tender::name(pay.code), money(pay.amount));
        if (!pay.payNo.isEmpty())
            text += QStringLiteral("（%1）").arg(pay.payNo);
        pays.append(text);
    }
    m_paysLabel->setText(pays.isEmpty() ? QStringLiteral("支付：—")
                                        : QStringLiteral("支付：") + pays.join(QStringLiteral("  ")));
    m_totalsLabel->setText(QStringLiteral("应收 ¥%1    已付 ¥%2    待付 ¥%3")
                               .arg(money(m_sale.total()), money(m_sale.paid()), money(m_sale.due())));
}

void TillWindow::say(const QString& text, bool good) {
    m_statusLabel->setText(text);
    m_statusLabel->setProperty("good", good);
    // A dynamic property only shows in the style once the widget is polished again.
    m_statusLabel->style()->unpolish(m_statusLabel);
    m_statusLabel->style()->polish(m_statusLabel);
}

void TillWindow::journalLine(const QString& text) {
    m_console->appendPlainText(text);
    m_console->verticalScrollBar()->setValue(m_console->verticalScrollBar()->maximum());
}

CallResult TillWindow::vip(const QJsonObject& tranVipIn) {
    CallResult call;
    call.function = QStringLiteral("ZoVipTrans");
    call.inputs.append({QStringLiteral("TranVipIn"), compact(tranVipIn)});
    journalLine(QStringLiteral("→ ZoVipTrans %1").arg(QString::fromUtf8(call.inputs.at(0).second)));
    emit calling(call);
    call.text = m_plugin.vipTrans(call.inputs.at(0).second);
    finish(call);
    return call;
}

CallResult TillWindow::card(const QJsonObject& head, const QJsonObject& plu, const QByteArray& udpIn1) {
    CallResult call;
    call.function = QStringLiteral("ZoCardTrans");
    call.inputs.append({QStringLiteral("TranHead"), compact(head)});
    call.inputs.append({QStringLiteral("TranPlu"), compact(plu)});
    call.inputs.append({QStringLiteral("UdpIn1"), udpIn1});
    journalLine(QStringLiteral("→ ZoCardTrans %1").arg(QString::fromUtf8(call.inputs.at(0).second)));
    emit calling(call);
    call.text = m_plugin.cardTrans(call.inputs.at(0).second, call.inputs.at(1).second, udpIn1);
    finish(call);
    return call;
}

void TillWindow::finish(CallResult& call) {
    call.json = QJsonDocument::fromJson(call.text).object();
    journalLine(QStringLiteral("← %1").arg(QString::fromUtf8(call.text)));
    if (call.ok())
        say(QStringLiteral("成功"), true);
    else
        say(QStringLiteral("失败：%1").arg(call.message()), false);
    m_last = call;
    emit called(call);
}

CallResult TillWindow::memberManagement() {
    return vip({{QStringLiteral("reqtype"), QStringLiteral("78")},
                {QStringLiteral("store_id"), QLatin1String(kStore)}});
}

CallResult TillWindow::lookupMember(const QString& code, const QString& biztype) {
    QJsonObject in{{QStringLiteral("reqtype"), QStringLiteral("50")},
                   {QStringLiteral("store_id"), QLatin1String(kStore)},
                   {QStringLiteral("station_id"), QLatin1String(kStation)},
                   {QStringLiteral("operator_id"), QLatin1String(kOperator)},
                   {QStringLiteral("business_date"), today()},
                   {QStringLiteral("biztype"), biztype}};
    // Without a code the plug-in asks the cashier in its own entry dialog.
    if (!code.isEmpty()) {
        in.insert(QStringLiteral("code"), code);
        in.insert(QStringLiteral("cardid"), QString());
    }
    CallResult call = vip(in);
    if (call.ok())
        takeMember(call);
    return call;
}

void TillWindow::takeMember(const CallResult& result) {
    Member& member = m_sale.member;
    member.code = result.value(QStringLiteral("code"));
    member.vipCardId = result.value(QStringLiteral("vipcardid"));
    member.name = result.value(QStringLiteral("name"));
    member.grade = result.value(QStringLiteral("type_name"));
    member.phone = result.value(QStringLiteral("phone"));
    member.score = result.value(QStringLiteral("score"));
    member.balance = result.value(QStringLiteral("balance"));
    refresh();
}

QJsonArray TillWindow::goods(const Sale& sale) {
    QJsonArray lines;
    for (const BasketLine& line : sale.lines) {
        const double price = line.product.price;
        lines.append(QJsonObject{{QStringLiteral("pi"), line.product.id},
                                 {QStringLiteral("bc"), line.product.barcode},
                                 {QStringLiteral("pn"), line.product.name},
                                 {QStringLiteral("yj"), price},
                                 {QStringLiteral("hyj"), price},
                                 {QStringLiteral("fsp"), price},
                                 {QStringLiteral("sc"), line.quantity},
                                 {QStringLiteral("st"), line.amount()}});
    }
    return lines;
}

QJsonObject TillWindow::productLines(const Sale& sale) {
    return {{QStringLiteral("plu"), goods(sale)}};
}

QJsonObject TillWindow::tenderHead(const Sale& sale, const QString& txnType, const QString& tenderCode,
                                   double trAmt) const {
    QJsonObject head{{QStringLiteral("pay_type"),
                      tenderCode == Tender::Points ? QStringLiteral("J") : QStringLiteral("Q")},
                     {QStringLiteral("shop_code"), QLatin1String(kStore)},
                     {QStringLiteral("pos_no"), QLatin1String(kStation)},
                     {QStringLiteral("oper_code"), QLatin1String(kOperator)},
                     {QStringLiteral("tr_bizdate"), today()},
                     {QStringLiteral("bill_no"), sale.billNo},
                     {QStringLiteral("sale_no"), sale.saleNo},
                     {QStringLiteral("txn_type"), txnType},
                     {QStringLiteral("vip_cardno"), sale.member.code},
                     {QStringLiteral("vip_cardid"), sale.member.vipCardId},
                     {QStringLiteral("vip_systype"), QStringLiteral("VORDA")},
                     {QStringLiteral("order_amount"), std::fabs(sale.total())},
                     {QStringLiteral("tr_amt"), fen(trAmt)},
                     {QStringLiteral("pay_code"), tenderCode},
                     {QStringLiteral("pay_name"), Tender::name(tenderCode)}};
    if (txnType == QLatin1String("REFUND")) {
        const Sale* original = findSale(sale.refundOf);
        head.insert(QStringLiteral("oribill_no"), sale.refundOf);
        head.insert(QStringLiteral("orisale_no"), original ? original->saleNo : QString());
    }
    return head;
}

CallResult TillWindow::payWithPoints(double trAmt) {
    CallResult call = card(tenderHead(m_sale, QStringLiteral("SALE"), Tender::Points, trAmt),
                           productLines(m_sale), QByteArray());
    if (call.ok()) {
        m_sale.pays.append({Tender::Points, fen(call.value(QStringLiteral("AmountTotal")).toDouble()),
                            QString(), call.value(QStringLiteral("MchOrderNo"))});
        refresh();
    }
    return call;
}

CallResult TillWindow::payWithCoupons() {
    CallResult call = card(tenderHead(m_sale, QStringLiteral("SALE"), Tender::Coupons, m_sale.due()),
                           productLines(m_sale), QByteArray());
    if (call.ok()) {
        takeCouponLines(call);
        refresh();
    }
    return call;
}

// Each coupon is a payment line of its own: a refund has to name every coupon and
// its write-off serial again.
void TillWindow::takeCouponLines(const CallResult& call) {
    for (const QJsonValue& value : call.json.value(QStringLiteral("PayDetails")).toArray()) {
        const QJsonObject detail = value.toObject();
        m_sale.pays.append({Tender::Coupons,
                            fen(detail.value(QStringLiteral("AmountTotal")).toString().toDouble()),
                            detail.value(QStringLiteral("CardNo")).toString(),
                            detail.value(QStringLiteral("MchOrderNo")).toString()});
    }
}

CallResult TillWindow::settle() {
    if (m_sale.due() > 0.004)
        m_sale.pays.append({Tender::Cash, fen(m_sale.due()), QString(), QString()});
    refresh();

    CallResult call;
    if (!m_sale.member.isEmpty()) {
        QJsonArray pays;
        for (const PayLine& pay : m_sale.pays) {
            pays.append(QJsonObject{{QStringLiteral("code"), pay.code},
                                    {QStringLiteral("name"), Tender::name(pay.code)},
                                    {QStringLiteral("payno"), pay.payNo},
                                    {QStringLiteral("extranno"), pay.extranNo},
                                    {QStringLiteral("pay_amount"), pay.amount},
                                    {QStringLiteral("zf_amount"), pay.amount}});
        }
        const QString total = money(m_sale.total());
        const QJsonObject in{{QStringLiteral("reqtype"), QStringLiteral("63")},
                             {QStringLiteral("store_id"), QLatin1String(kStore)},
                             {QStringLiteral("station_id"), QLatin1String(kStation)},
                             {QStringLiteral("operator_id"), QLatin1String(kOperator)},
                             {QStringLiteral("business_date"), today()},
                             {QStringLiteral("pos_saleno"), m_sale.saleNo},
                             {QStringLiteral("pos_billno"), m_sale.billNo},
                             {QStringLiteral("pos_salebgntime"), m_sale.startTime},
                             {QStringLiteral("code"), m_sale.member.code},
                             {QStringLiteral("vipcardid"), m_sale.member.vipCardId},
                             {QStringLiteral("sale_type"), QStringLiteral("sale")},
                             {QStringLiteral("amount"), m_sale.total()},
                             {QStringLiteral("emp_id"), QLatin1String(kOperator)},
                             {QStringLiteral("biztype"), QStringLiteral("1")},
                             {QStringLiteral("sourcebillno"), QString()},
                             {QStringLiteral("plucounttotal"), QString::number(m_sale.quantity(), 'g', 6)},
                             {QStringLiteral("shouldtotal"), total},
                             {QStringLiteral("actualtotal"), total},
                             {QStringLiteral("products"), goods(m_sale)},
                             {QStringLiteral("pays"), pays}};
        call = vip(in);
        const QStringList ticket = ticketLines(call);
        if (!ticket.isEmpty())
            journalLine(QStringLiteral("小票：") + ticket.join(QStringLiteral(" | ")));
    }
    m_journal.append(m_sale);
    return call;
}

QList<CallResult> TillWindow::refund(const QString& billNo, const QStringList& tenderCodes) {
    QList<CallResult> calls;
    const Sale* found = findSale(billNo);
    if (!found)
        return calls;
    const Sale original = *found;

    newSale();
    m_sale.refundOf = original.billNo;
    m_sale.member = original.member;
    for (BasketLine line : original.lines) {
        line.quantity = -line.quantity;
        m_sale.lines.append(line);
    }
    refresh();

    for (const QString& tender : tenderCodes) {
        const double amount = original.paidWith(tender);
        if (amount < 0.005)
            continue;
        CallResult call;
        if (tender == Tender::Points) {
            call = card(tenderHead(m_sale, QStringLiteral("REFUND"), Tender::Points, amount),
                        productLines(m_sale), QByteArray());
            if (call.ok())
                m_sale.pays.append({Tender::Points, fen(call.value(QStringLiteral("AmountTotal")).toDouble()),
                                    QString(), QString()});
        } else if (tender == Tender::Coupons) {
            // The plug-in picks the coupons to give back from the original sale's payment
            // lines, leaving out those this refund has already returned.
            const auto payArray = [](const QList<PayLine>& lines) {
                QJsonArray array;
                for (const PayLine& pay : lines) {
                    array.append(QJsonObject{{QStringLiteral("code"), pay.code},
                                             {QStringLiteral("name"), Tender::name(pay.code)},
                                             {QStringLiteral("pay_amt"), money(pay.amount)},
                                             {QStringLiteral("payno"), pay.payNo},
                                             {QStringLiteral("extranno"), pay.extranNo}});
                }
                return array;
            };
            const QJsonObject udp{{QStringLiteral("pays"), payArray(original.pays)},
                                  {QStringLiteral("paysnow"), payArray(m_sale.pays)}};
            call = card(tenderHead(m_sale, QStringLiteral("REFUND"), Tender::Coupons, amount),
                        productLines(m_sale), compact(udp));
            if (call.ok())
                takeCouponLines(call);
        }
        refresh();
        calls.append(call);
    }
    // Whatever the CRM tenders did not give back goes back in cash.
    if (m_sale.due() < -0.004)
        m_sale.pays.append({Tender::Cash, fen(m_sale.due()), QString(), QString()});
    refresh();
    m_journal.append(m_sale);
    return calls;
}

QStringList TillWindow::ticketLines(const CallResult& settlement) {
    QStringList lines = settlement.value(QStringLiteral("sendticket")).split(QStringLiteral("@+"));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void TillWindow::onLookup() {
    lookupMember(m_codeEdit->text().trimmed(),
                 m_passwordBox->isChecked() ? QStringLiteral("3") : QStringLiteral("1"));
    m_codeEdit->clear();
}

void TillWindow::onPoints() {
    if (m_sale.due() > 0.004)
        payWithPoints(m_sale.due());
}

void TillWindow::onCoupons() {
    if (m_sale.due() > 0.004)
        payWithCoupons();
}

void TillWindow::onSettle() {
    if (m_sale.lines.isEmpty() || !m_sale.refundOf.isEmpty())
        return;
    const CallResult call = settle();
    if (!call.function.isEmpty() && call.ok()) {
        QString text = QStringLiteral("本单积分 %1，累计积分 %2")
                           .arg(call.value(QStringLiteral("cent")), call.value(QStringLiteral("sum_cent")));
        if (!ticketLines(call).isEmpty())
            text += QStringLiteral("，已打印赠券");
        say(text, true);
    }
    newSale();
}

void TillWindow::onRefund() {
    QStringList choices;
    for (const Sale& sale : m_journal) {
        if (sale.refundOf.isEmpty() &&
            (sale.paidWith(Tender::Points) > 0.004 || sale.paidWith(Tender::Coupons) > 0.004)) {
            choices.prepend(
                QStringLiteral("%1  ¥%2  %3").arg(sale.billNo, money(sale.total()), sale.member.name));
        }
    }
    if (choices.isEmpty()) {
        say(QStringLiteral("没有可退的积分或券支付"), false);
        return;
    }
    bool chosen = false;
    const QString choice = QInputDialog::getItem(this, QStringLiteral("退货"), QStringLiteral("原单："),
                                                 choices, 0, false, &chosen);
    if (!chosen)
        return;
    refund(choice.section(QLatin1Char(' '), 0, 0), {Tender::Points, Tender::Coupons});
}

void TillWindow::onShowLastCall() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("TillLastCall"));
    dialog.setWindowTitle(QStringLiteral("上次请求与结果"));
    auto* text = new QPlainTextEdit(&dialog);
    text->setReadOnly(true);
    QString body;
    for (const auto& input : m_last.inputs) {
        const QJsonDocument doc = QJsonDocument::fromJson(input.second);
        body += QStringLiteral("%1 %2:\n%3\n")
                    .arg(m_last.function, input.first,
                         doc.isNull() ? QString::fromUtf8(input.second) : QString::fromUtf8(doc.toJson()));
    }
    body += QStringLiteral("结果:\n%1").arg(QString::fromUtf8(QJsonDocument(m_last.json).toJson()));
    text->setPlainText(body);
    auto* close = new QPushButton(QStringLiteral("关闭"), &dialog);
    connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(close);
    dialog.resize(700, 520);
    dialog.exec();
}
