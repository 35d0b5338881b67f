#include "ui/MessageWidget.h"
#include "ui/Overlay.h"
#include "ui_MessageWidget.h"

#include <QDebug>
#include <QKeyEvent>

namespace {}

MessageWidget::MessageWidget(int captionStyle, bool showDetail, QWidget* parent)
    : QDialog(parent), m_nCaptionStyle(captionStyle), m_bShowDetail(showDetail), ui(new Ui::MessageWidget) {
    ui->setupUi(this);
    // The buttons take no focus, so the keypad must talk to the dialog itself.
    setFocus(Qt::OtherFocusReason);
    Overlay::ApplyWindowConvention(this);
    ui->label_text->setWordWrap(true);
    // Once more, last, so that nothing set in between can have changed them.
    setWindowFlags(Overlay::Flags);
    connect(ui->btnok, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btncancel, &QPushButton::clicked, this, &QDialog::reject);
}

MessageWidget::~MessageWidget() {
    delete ui;
}

// Style 0 shows the bare word, style 1 adds the key that presses the button; any
// other style leaves the caption as the form has it.
void MessageWidget::setCaption(QPushButton* button, const QString& plain, const QString& withKey) const {
    if (m_nCaptionStyle == 0)
        button->setText(plain);
    else if (m_nCaptionStyle == 1)
        button->setText(withKey);
}

int MessageWidget::showMessage(const QString& text, int type, bool showHint) {
    ui->label->setVisible(showHint);
    ui->btncancel->hide();
    ui->btnok->show();
    ui->textBrowser->hide();
    ui->btnDetail->setVisible(m_bShowDetail);

    switch (type) {
    case 0:
        ui->label_text->setText(text);
        ui->btnDetail->hide();
        setCaption(ui->btnok, tr("完成"), tr("完成【1】"));
        break;
    case 1:
        ui->label_text->setText(text);
        ui->btnDetail->hide();
        ui->btncancel->show();
        setCaption(ui->btncancel, tr("返回"), tr("返回【0】"));
        setCaption(ui->btnok, tr("重试"), tr("重试【1】"));
        break;
    case 2:
        // A bare notice only goes away by the keypad (1 or Enter).
        ui->label_text->setText(text);
        ui->btnok->hide();
        ui->btnDetail->hide();
        break;
    case 3:
        ui->label_text->setText(text);
        // The cancel caption is kept current even though confirm never shows it.
        setCaption(ui->btncancel, tr("取消"), tr("取消【0】"));
        setCaption(ui->btnok, tr("确定"), tr("确定【1】"));
        setCaption(ui->btnDetail, tr("查询"), tr("查询【2】"));
        break;
    default:
        qDebug().noquote() << "wrong type! MessageWidget::showMessage:default switch";
        break;
    }

    showFullScreen();
    activateWindow();
    return exec();
}

void MessageWidget::on_btnDetail_clicked() {
    emit SignQueryBillState();
}

void MessageWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_1:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Also while the button is hidden: a bare notice is closed this way.
        emit ui->btnok->clicked(false);
        break;
    case Qt::Key_0:
        if (ui->btncancel->isVisible())
            emit ui->btncancel->clicked(false);
        break;
    case Qt::Key_2:
        emit SignQueryBillState();
        break;
    default:
        // Escape included: the cashier must answer the message, not dismiss it.
        break;
    }
}
