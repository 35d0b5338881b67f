#pragma once

// The demo till's screen: a basket, the member of the sale, the payments, and the
// buttons that hand member and tender work to the plug-in. Every button is a public
// operation as well, so the scripted day at the till presses the same ones.

#include "Sale.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QWidget>

class PluginHost;
class QLabel;
class QLineEdit;
class QCheckBox;
class QPlainTextEdit;
class QTableWidget;

// One call of the plug-in: what went in, what came back.
struct CallResult {
    QString function; // "ZoVipTrans" or "ZoCardTrans"
    QList<QPair<QString, QByteArray>> inputs;
    QByteArray text;
    QJsonObject json;

    bool ok() const;
    QString code() const; // "111111" or "000000"
    QString message() const;
    QString value(const QString& key) const; // a text value of the result
};

class TillWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kStore = "0101";
    static constexpr const char* kStation = "POS01";
    static constexpr const char* kOperator = "1001";

    explicit TillWindow(PluginHost& plugin, QWidget* parent = nullptr);

    void newSale();
    void addProduct(int catalogueIndex, double quantity = 1);

    // Member management screen; the cashier may sign the till in there.
    CallResult memberManagement();
    // An empty code lets the plug-in ask the cashier. biztype "3" asks for the password.
    CallResult lookupMember(const QString& code, const QString& biztype);
    // Pays up to trAmt of the amount due with the member's points.
    CallResult payWithPoints(double trAmt);
    // Pays with the coupons the cashier enters in the plug-in's coupon dialog.
    CallResult payWithCoupons();
    // Takes the rest in cash, closes the sale and, for a member, reports it to the CRM
    // (the result then carries the points and the coupons to print).
    CallResult settle();
    // Gives back the given CRM tenders of a closed sale (whole sale only), one call each.
    QList<CallResult> refund(const QString& billNo, const QStringList& tenderCodes);

    const Sale& currentSale() const { return m_sale; }
    const QList<Sale>& journal() const { return m_journal; }
    const Sale* findSale(const QString& billNo) const;
    const CallResult& lastCall() const { return m_last; }

    // The coupon text of a settlement, one printed line each ("@+" ends a line).
    static QStringList ticketLines(const CallResult& settlement);

signals:
    void calling(const CallResult& call); // the inputs are filled in
    void called(const CallResult& call);

private:
    void buildUi();
    void refresh();
    void say(const QString& text, bool good);
    void journalLine(const QString& text);

    CallResult vip(const QJsonObject& tranVipIn);
    CallResult card(const QJsonObject& head, const QJsonObject& plu, const QByteArray& udpIn1);
    void finish(CallResult& call);

    QJsonObject tenderHead(const Sale& sale, const QString& txnType, const QString& tenderCode,
                           double trAmt) const;
    static QJsonObject productLines(const Sale& sale);
    static QJsonArray goods(const Sale& sale);
    void takeMember(const CallResult& result);
    void takeCouponLines(const CallResult& result);
    QString nextNumber();

    // Button handlers of the interactive till.
    void onLookup();
    void onPoints();
    void onCoupons();
    void onSettle();
    void onRefund();
    void onShowLastCall();

    PluginHost& m_plugin;
    Sale m_sale;
    QList<Sale> m_journal;
    CallResult m_last;
    QString m_session;
    int m_counter = 0;

    QLabel* m_memberLabel = nullptr;
    QLabel* m_totalsLabel = nullptr;
    QLabel* m_paysLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_billLabel = nullptr;
    QLineEdit* m_codeEdit = nullptr;
    QCheckBox* m_passwordBox = nullptr;
    QTableWidget* m_basket = nullptr;
    QPlainTextEdit* m_console = nullptr;
};
