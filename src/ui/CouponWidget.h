#pragma once
#include "model/CouponRec.h"

#include <QDialog>
#include <QList>
#include <QString>

namespace Ui {
class CouponWidget;
}
class QEvent;
class QKeyEvent;
class QObject;
class QStandardItemModel;

// Full-screen dialog of a coupon tender: coupon numbers are keyed or scanned one at a time and handed to
// whoever opened it, who checks them with the CRM and refills the table through setCoupons.
class CouponWidget : public QDialog {
    Q_OBJECT
public:
    explicit CouponWidget(QWidget* parent = nullptr);
    ~CouponWidget() override;

    // Empties the table before a tender.
    void clearTable();
    void setCoupons(const QList<CouponRec>& coupons);
    // 1: written off (F2), 0: cancelled (Escape).
    int run();
    // The coupon number in the current row; empty when no row is current.
    QString currentCouponNo() const;

signals:
    // Emitted inside the confirm step; the receiver refills the table before it returns.
    void couponEntered(const QString& couponNo);
    // The cashier asks to take the coupon of the current row off the tender.
    void clearRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void confirmCouponNo();
    void requestClear();
    void moveCurrentRow(int step);
    void selectCurrentRow();
    void setColumnWidths();
    void takeKeyboard();

    Ui::CouponWidget* m_form;
    QStandardItemModel* m_model;
    QList<CouponRec> m_shown; // what the table's rows show
    int m_currentRow = -1;    // -1: no row current
};
