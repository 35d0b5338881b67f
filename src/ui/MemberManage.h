#pragma once
#include <QEventLoop>
#include <QWidget>

namespace Ui {
class MemberManage;
}

class QKeyEvent;

// Member management screen. It only records what the cashier chose; the sign-in
// itself is done by whoever opened the screen.
class MemberManage : public QWidget {
    Q_OBJECT
public:
    explicit MemberManage(QWidget* parent = nullptr);
    ~MemberManage() override;

    // Blocks until the cashier leaves the screen; answers m_nChoice.
    int Exec();

    // 1: sign the till in; 0: left without action.
    int m_nChoice = 0;

public slots:
    void on_btnReturn_clicked();
    void on_btnClose_clicked();
    void on_btnVipSignin_clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finish(int choice);

    Ui::MemberManage* ui;
    QEventLoop m_loop;
};
