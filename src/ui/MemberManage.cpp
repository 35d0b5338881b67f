#include "ui/MemberManage.h"
#include "ui/Overlay.h"
#include "ui_MemberManage.h"

#include <QKeyEvent>

MemberManage::MemberManage(QWidget* parent) : QWidget(parent), m_form(new Ui::MemberManage) {
    m_form->setupUi(this);
    Overlay::applyWindowConvention(this);
    // The screen is left with Escape; the title bar buttons stay in the form for
    // hosts whose style sheet wants them, but are not offered here.
    m_form->btnReturn->hide();
    m_form->btnClose->hide();
    connect(m_form->btnReturn, &QPushButton::clicked, this, [this] { finish(0); });
    connect(m_form->btnClose, &QPushButton::clicked, this, [this] { finish(0); });
    connect(m_form->btnVipSignin, &QPushButton::clicked, this, [this] { finish(1); });
}

MemberManage::~MemberManage() {
    delete m_form;
}

int MemberManage::run() {
    showFullScreen();
    activateWindow();
    m_loop.exec();
    return m_choice;
}

void MemberManage::finish(int choice) {
    m_choice = choice;
    Overlay::endRun(m_loop, this, choice);
}

void MemberManage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_0:
        finish(1);
        break;
    case Qt::Key_Escape:
        finish(0);
        break;
    default:
        break;
    }
}
