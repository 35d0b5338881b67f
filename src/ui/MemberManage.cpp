#include "ui/MemberManage.h"
#include "ui/Overlay.h"
#include "ui_MemberManage.h"

#include <QKeyEvent>

MemberManage::MemberManage(QWidget* parent) : QWidget(parent), ui(new Ui::MemberManage) {
    ui->setupUi(this);
    Overlay::ApplyWindowConvention(this);
    // The screen is left with Escape; the title bar buttons stay in the form for
    // hosts whose style sheet wants them, but are not offered here.
    ui->btnReturn->hide();
    ui->btnClose->hide();
}

MemberManage::~MemberManage() {
    delete ui;
}

int MemberManage::Exec() {
    showFullScreen();
    activateWindow();
    m_loop.exec();
    return m_nChoice;
}

void MemberManage::finish(int choice) {
    m_nChoice = choice;
    Overlay::EndRun(m_loop, this, choice);
}

void MemberManage::on_btnReturn_clicked() {
    finish(0);
}

void MemberManage::on_btnClose_clicked() {
    finish(0);
}

void MemberManage::on_btnVipSignin_clicked() {
    finish(1);
}

void MemberManage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_0:
        on_btnVipSignin_clicked();
        break;
    case Qt::Key_Escape:
        finish(0);
        break;
    default:
        break;
    }
}
