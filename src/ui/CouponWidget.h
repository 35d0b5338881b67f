#pragma once
#include "model/CouponRec.h"
#include <QDialog>
#include <QList>

namespace Ui {
class CouponWidget;
}
class QModelIndex;
class QStandardItemModel;

// Full-screen dialog of a coupon tender: coupon numbers are keyed or scanned one at a time and handed to
// the controller, which checks them with the CRM and refills the table through SetCoupons.
class CouponWidget : public QDialog {
    Q_OBJECT
public:
    explicit CouponWidget(QWidget* parent = nullptr);
    ~CouponWidget() override;

    void InitTable();
    void SetCoupons(const QList<CouponRec>& p_Coupons);
    int Exec();
    QString CurrentCouponNo();

signals:
    void SignCouponCheck(QString);
    void SignCouponClear();

public slots:
    void TableClicked(const QModelIndex& index);
    void previousSaleNo();
    void nextSaleNo();
    void on_btnok_clicked();
    void on_btnclear_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetColumnWidths();
    void SelectCurrentRow();
    void TakeKeyboard();

    Ui::CouponWidget* ui;
    QStandardItemModel* m_model;
    qint32 m_nCurrentRow; // -1: no row current
};
