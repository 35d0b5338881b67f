#include "ui/MemberManage.h"
#include "ui_MemberManage.h"

#include <QKeyEvent>

MemberManage::MemberManage(QWidget* parent) : QWidget(parent), ui(new Ui::MemberManage) {
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    setWindowModality(Qt::ApplicationModal);
    setWindowOpacity(1.0);
    setAttribute(Qt::WA_TranslucentBackground);
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
    m_loop.exit(choice);
    close();
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
