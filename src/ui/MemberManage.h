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

    // Blocks until the cashier leaves the screen; answers choice().
    int run();

    // 1: sign the till in; 0: left without action. Kept until the screen is left again.
    int choice() const { return m_choice; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finish(int choice);

    Ui::MemberManage* m_form;
    int m_choice = 0;
    QEventLoop m_loop;
};
