#pragma once
#include "ui/KeypadDialog.h"

#include <QString>

namespace Ui {
class MemberLogin;
}

// Full-screen entry of a member code or name; in its password variant the entry is masked.
class MemberLogin : public KeypadDialog {
    Q_OBJECT
public:
    explicit MemberLogin(QWidget* parent = nullptr);
    ~MemberLogin() override;

    // The title "会员密码验证" asks for the password, any other for a member code or
    // name. 1: confirmed, the entry is in input(); 0: backed out.
    int run(const QString& title = QStringLiteral("会员登录"), const QString& help = QString());

private:
    Ui::MemberLogin* m_form;
};
