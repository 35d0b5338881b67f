#include "ui/MemberLogin.h"
#include "ui/Overlay.h"
#include "ui_MemberLogin.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalMapper>

MemberLogin::MemberLogin(QWidget* parent) : QWidget(parent), ui(new Ui::MemberLogin), m_mapper(nullptr) {
    ui->setupUi(this);

    Overlay::ApplyWindowConvention(this);

    // Keys that the entry field does not take (Enter, Esc) bubble up to the panels.
    ui->widgetback->installEventFilter(this);
    ui->widgetpopcenter->installEventFilter(this);

    m_mapper = new QSignalMapper(this);
    const QList<QPushButton*> digits = {ui->btn0, ui->btn1, ui->btn2, ui->btn3, ui->btn4,
                                        ui->btn5, ui->btn6, ui->btn7, ui->btn8, ui->btn9};
    for (QPushButton* btn : digits) {
        connect(btn, &QPushButton::clicked, m_mapper, QOverload<>::of(&QSignalMapper::map));
        m_mapper->setMapping(btn, btn->text());
    }
    connect(m_mapper, &QSignalMapper::mappedString, this, &MemberLogin::SlotKeyPressed);

    // The till is driven from its keyboard; the touch keypad and the title-bar buttons stay out of sight.
    ui->widgetkey->hide();
    ui->btnReturn->hide();
    ui->btnClose->hide();
}

MemberLogin::~MemberLogin() {
    delete ui;
}

int MemberLogin::Exec(QString p_sTital, QString p_sHelp) {
    ui->lblModeName->setText(p_sTital);
    ui->lblhelp->setText(p_sHelp);
    // setText() rather than clear(): clear() is an edit the field remembers for undo,
    // and this dialog lives as long as the till program, so the history of every
    // member code ever typed would pile up (and come back with Ctrl+Z).
    ui->txtVipCode->setText(QString());

    // Only the password check masks the entry; a member code or name is shown as typed.
    if (p_sTital == QStringLiteral("会员密码验证")) {
        ui->txtVipCode->setEchoMode(QLineEdit::Password);
        ui->lblCodeType->setText(tr("密码："));
    } else {
        ui->txtVipCode->setEchoMode(QLineEdit::Normal);
        ui->lblCodeType->setText(tr("号码/姓名："));
    }

    showFullScreen();
    TakeKeyboard();
    return m_loop.exec();
}

void MemberLogin::SlotKeyPressed(QString p_sInput) {
    ui->txtVipCode->insert(p_sInput);
}

void MemberLogin::on_btnClose_clicked() {
    Finish(0);
}

void MemberLogin::on_btnReturn_clicked() {
    Finish(0);
}

void MemberLogin::on_btnUpdNum_clicked() {
    ui->txtVipCode->clear();
}

void MemberLogin::on_btnBackSpace_clicked() {
    ui->txtVipCode->backspace();
}

void MemberLogin::on_btnOK_clicked() {
    m_sInput = ui->txtVipCode->text();
    ui->txtVipCode->setText(QString()); // no undo history of the entry: see Exec()
    // An empty entry is refused without a word: the cashier simply keys again.
    if (!m_sInput.isEmpty())
        Finish(1);
}

bool MemberLogin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == ui->widgetback || watched == ui->widgetpopcenter)) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MemberLogin::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        Finish(0);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        on_btnOK_clicked();
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        SlotKeyPressed(QString(QChar(key)));
    }
}

void MemberLogin::Finish(int p_nCode) {
    Overlay::EndRun(m_loop, this, p_nCode);
}

void MemberLogin::TakeKeyboard() {
    Overlay::TakeKeyboard(this, ui->txtVipCode);
}
