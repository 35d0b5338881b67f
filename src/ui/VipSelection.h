#pragma once
#include "model/MemberRec.h"

#include <QEventLoop>
#include <QList>
#include <QString>
#include <QWidget>

namespace Ui {
class VipSelection;
}

class QEvent;
class QKeyEvent;
class QObject;
class QStandardItemModel;

// List from which the cashier picks one member when a lookup found several.
class VipSelection : public QWidget {
    Q_OBJECT
public:
    explicit VipSelection(QWidget* parent = nullptr);
    ~VipSelection() override;

    // 1 with the chosen card number in cardNo(), 0 when the cashier backed out.
    int run(const QList<MemberRec>& candidates);

    // The chosen member's card number; empty from the start of every run.
    QString cardNo() const { return m_cardNo; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void confirm();
    void moveTo(int row);
    void finish(int result);

    Ui::VipSelection* m_form;
    QStandardItemModel* m_model;
    QString m_cardNo;
    int m_row = 0;
    QEventLoop m_loop;
};
