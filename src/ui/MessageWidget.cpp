#include "ui/MessageWidget.h"
#include "ui/Overlay.h"
#include "ui_MessageWidget.h"

#include <QDebug>
#include <QKeyEvent>

MessageWidget::MessageWidget(int captionStyle, bool showDetail, QWidget* parent)
    : QDialog(parent), m_captionStyle(captionStyle), m_showDetail(showDetail), m_form(new Ui::MessageWidget) {
    m_form->setupUi(this);
    // The buttons take no focus, so the keypad must talk to the dialog itself.
    setFocus(Qt::OtherFocusReason);
    Overlay::applyWindowConvention(this);
    m_form->label_text->setWordWrap(true);
    // Once more, last, so that nothing set in between can have changed them.
    setWindowFlags(Overlay::Flags);
    connect(m_form->btnok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_form->btncancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_form->btnDetail, &QPushButton::clicked, this, &MessageWidget::queryRequested);
}

MessageWidget::~MessageWidget() {
    delete m_form;
}

// Style 0 shows the bare word, style 1 adds the key that presses the button; any
// other style leaves the caption as the form has it.
void MessageWidget::setCaption(QPushButton* button, const QString& plain, const QString& withKey) const {
    if (m_captionStyle == 0)
        button->setText(plain);
    else if (m_captionStyle == 1)
        button->setText(withKey);
}

int MessageWidget::showMessage(const QString& text, int type, bool showHint) {
    m_form->label->setVisible(showHint);
    m_form->btncancel->hide();
    m_form->btnok->show();
    m_form->textBrowser->hide();
    m_form->btnDetail->setVisible(m_showDetail);

    switch (type) {
    case 0:
        m_form->label_text->setText(text);
        m_form->btnDetail->hide();
        setCaption(m_form->btnok, tr("完成"), tr("完成【1】"));
        break;
    case 1:
        m_form->label_text->setText(text);
        m_form->btnDetail->hide();
        m_form->btncancel->show();
        setCaption(m_form->btncancel, tr("返回"), tr("返回【0】"));
        setCaption(m_form->btnok, tr("重试"), tr("重试【1】"));
        break;
    case 2:
        // A bare notice only goes away by the keypad (1 or Enter).
        m_form->label_text->setText(text);
        m_form->btnok->hide();
        m_form->btnDetail->hide();
        break;
    case 3:
        m_form->label_text->setText(text);
        // The cancel caption is kept current even though confirm never shows it.
        setCaption(m_form->btncancel, tr("取消"), tr("取消【0】"));
        setCaption(m_form->btnok, tr("确定"), tr("确定【1】"));
        setCaption(m_form->btnDetail, tr("查询"), tr("查询【2】"));
        break;
    default:
        qDebug().noquote() << "wrong type! MessageWidget::showMessage:default switch";
        break;
    }

    showFullScreen();
    activateWindow();
    return exec();
}

void MessageWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_1:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Also while the button is hidden: a bare notice is closed this way.
        emit m_form->btnok->clicked(false);
        break;
    case Qt::Key_0:
        if (m_form->btncancel->isVisible())
            emit m_form->btncancel->clicked(false);
        break;
    case Qt::Key_2:
        emit queryRequested();
        break;
    default:
        // Escape included: the cashier must answer the message, not dismiss it.
        break;
    }
}
