#pragma once
#include <QEventLoop>
#include <QWidget>

namespace Ui {
class MemberLogin;
}
class QSignalMapper;

// Full-screen entry of a member code or name; in its password variant the entry is masked.
class MemberLogin : public QWidget {
    Q_OBJECT
public:
    explicit MemberLogin(QWidget* parent = nullptr);
    ~MemberLogin() override;

    // What was in the entry field at the last confirm attempt; read it after Exec returned 1.
    QString m_sInput;

public slots:
    int Exec(QString p_sTital = QStringLiteral("会员登录"), QString p_sHelp = QString());
    void SlotKeyPressed(QString p_sInput);
    void on_btnClose_clicked();
    void on_btnReturn_clicked();
    void on_btnUpdNum_clicked();
    void on_btnBackSpace_clicked();
    void on_btnOK_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Finish(int p_nCode);
    void TakeKeyboard();

    Ui::MemberLogin* ui;
    QSignalMapper* m_mapper;
    QEventLoop m_loop;
};
