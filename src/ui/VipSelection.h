#pragma once
#include "model/MemberRec.h"
#include <QEventLoop>
#include <QList>
#include <QWidget>

namespace Ui {
class VipSelection;
}

class QKeyEvent;
class QModelIndex;
class QStandardItemModel;

// List from which the cashier picks one member when a lookup found several.
class VipSelection : public QWidget {
    Q_OBJECT
public:
    explicit VipSelection(QWidget* parent = nullptr);
    ~VipSelection() override;

    // 1 with the chosen card number in m_sCardNo, 0 when the cashier backed out.
    int SelectMember(const QList<MemberRec>& candidates);

    QString m_sCardNo;

public slots:
    void on_btnReturn_clicked();
    void on_btnClose_clicked();
    void billTableViewDetailClicked(const QModelIndex& index);

public:
    // The confirm step (Return/Enter). The form has no confirm button, so this is a
    // plain method: as a slot its name would make the form's by-name wiring warn on
    // every load of the library.
    void on_btnOk_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void moveTo(int row);
    void finish(int result);

    Ui::VipSelection* ui;
    QStandardItemModel* m_model;
    int m_nRow = 0;
    QEventLoop m_loop;
};
