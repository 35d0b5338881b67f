#include "ui/JFPayWidget.h"
#include "ui_JFPayWidget.h"

#include <QRegExp>
#include <QRegExpValidator>

JFPayWidget::JFPayWidget(QWidget* parent) : KeypadDialog(parent), m_form(new Ui::JFPayWidget) {
    m_form->setupUi(this);
    setUpKeypad(m_form->txtCode);
    // Money in yuan with at most two decimals. A text on its way to a match (12. or 12.3) is held as
    // intermediate and still confirmed as it stands; the tender flow parses and checks the amount.
    m_form->txtCode->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+(\\.[0-9]{2})?$")), this));
}

JFPayWidget::~JFPayWidget() {
    delete m_form;
}

int JFPayWidget::run(const QString& pointsCash, const QString& due, const QString& help) {
    m_form->lblTotal->setText(pointsCash);
    // The amount due comes along but the cashier keys the points share himself: the field starts empty.
    m_form->txtCode->setText(due);
    m_form->lblhelp1->setText(help);
    m_form->txtCode->clear();
    return runLoop();
}
