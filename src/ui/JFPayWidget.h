#pragma once
#include "ui/KeypadDialog.h"

#include <QString>

namespace Ui {
class JFPayWidget;
}

// Full-screen entry of the amount of money the member pays with points.
class JFPayWidget : public KeypadDialog {
    Q_OBJECT
public:
    explicit JFPayWidget(QWidget* parent = nullptr);
    ~JFPayWidget() override;

    // pointsCash: what the member's points are worth; due: the amount due, which the
    // cashier does not get pre-filled. 1: confirmed, the amount text is in input();
    // 0: backed out.
    int run(const QString& pointsCash, const QString& due, const QString& help = QString());

private:
    Ui::JFPayWidget* m_form;
};
