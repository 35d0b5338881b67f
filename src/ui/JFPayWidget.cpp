#include "ui/JFPayWidget.h"
#include "ui/Overlay.h"
#include "ui_JFPayWidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegExp>
#include <QRegExpValidator>
#include <QSignalMapper>

JFPayWidget::JFPayWidget(QWidget* parent)
    : QWidget(parent), ui(new Ui::JFPayWidget), m_mapper(nullptr), m_validator(nullptr) {
    ui->setupUi(this);

    Overlay::ApplyWindowConvention(this);

    // Keys that the amount field does not take (Enter, Esc) bubble up to the panels.
    ui->widgetback->installEventFilter(this);
    ui->widgetpopcenter->installEventFilter(this);

    m_mapper = new QSignalMapper(this);
    const QList<QPushButton*> keys = {ui->btn0, ui->btn1, ui->btn2, ui->btn3, ui->btn4,  ui->btn5,
                                      ui->btn6, ui->btn7, ui->btn8, ui->btn9, ui->btndot};
    for (QPushButton* btn : keys) {
        connect(btn, &QPushButton::clicked, m_mapper, QOverload<>::of(&QSignalMapper::map));
        m_mapper->setMapping(btn, btn->text());
    }
    connect(m_mapper, &QSignalMapper::mappedString, this, &JFPayWidget::SlotKeyPressed);

    // Money in yuan with at most two decimals. A text on its way to a match (12. or 12.3) is held as
    // intermediate and still confirmed as it stands; the tender flow parses and checks the amount.
    m_validator = new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+(\\.[0-9]{2})?$")), this);
    ui->txtCode->setValidator(m_validator);

    // The till is driven from its keyboard; the touch keypad and the title-bar buttons stay out of sight.
    ui->widgetkey->hide();
    ui->btnReturn->hide();
    ui->btnClose->hide();
}

JFPayWidget::~JFPayWidget() {
    delete ui;
}

int JFPayWidget::Exec(QString p_sTotal, QString num, QString p_sHelp) {
    ui->lblTotal->setText(p_sTotal);
    // The amount due comes along but the cashier keys the points share himself: the field starts empty.
    ui->txtCode->setText(num);
    ui->lblhelp1->setText(p_sHelp);
    ui->txtCode->clear();

    showFullScreen();
    TakeKeyboard();
    return m_loop.exec();
}

int JFPayWidget::Exec(QString p_sTotal, QString num) {
    return Exec(p_sTotal, num, QString());
}

void JFPayWidget::SlotKeyPressed(QString p_sInput) {
    ui->txtCode->insert(p_sInput);
}

void JFPayWidget::on_btnClose_clicked() {
    Finish(0);
}

void JFPayWidget::on_btnReturn_clicked() {
    Finish(0);
}

void JFPayWidget::on_btnUpdNum_clicked() {
    ui->txtCode->clear();
}

// The keypad of this form has no backspace key; the slot is kept for symmetry with the member entry.
void JFPayWidget::on_btnBackSpace_clicked() {
    ui->txtCode->backspace();
}

void JFPayWidget::on_btnOK_clicked() {
    m_sInput = ui->txtCode->text();
    // setText() rather than clear(): clear() is an edit the field remembers for undo,
    // and this dialog lives as long as the till program.
    ui->txtCode->setText(QString());
    if (!m_sInput.isEmpty())
        Finish(1);
}

bool JFPayWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == ui->widgetback || watched == ui->widgetpopcenter)) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void JFPayWidget::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        Finish(0);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        on_btnOK_clicked();
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        SlotKeyPressed(QString(QChar(key)));
    }
}

void JFPayWidget::Finish(int p_nCode) {
    Overlay::EndRun(m_loop, this, p_nCode);
}

void JFPayWidget::TakeKeyboard() {
    Overlay::TakeKeyboard(this, ui->txtCode);
}
