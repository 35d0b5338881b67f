#include "ui/MemberLogin.h"
#include "ui_MemberLogin.h"

MemberLogin::MemberLogin(QWidget* parent) : KeypadDialog(parent), m_form(new Ui::MemberLogin) {
    m_form->setupUi(this);
    setUpKeypad(m_form->txtVipCode);
}

MemberLogin::~MemberLogin() {
    delete m_form;
}

int MemberLogin::run(const QString& title, const QString& help) {
    m_form->lblModeName->setText(title);
    m_form->lblhelp->setText(help);
    // setText() rather than clear(): clear() is an edit the field remembers for undo,
    // and this dialog lives as long as the till program, so the history of every
    // member code ever typed would pile up (and come back with Ctrl+Z).
    m_form->txtVipCode->setText(QString());

    // Only the password check masks the entry; a member code or name is shown as typed.
    if (title == QStringLiteral("会员密码验证")) {
        m_form->txtVipCode->setEchoMode(QLineEdit::Password);
        m_form->lblCodeType->setText(tr("密码："));
    } else {
        m_form->txtVipCode->setEchoMode(QLineEdit::Normal);
        m_form->lblCodeType->setText(tr("号码/姓名："));
    }
    return runLoop();
}
