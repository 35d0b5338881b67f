#include "ui/WaitWidget.h"
#include "ui/Overlay.h"
#include "ui_WaitWidget.h"

#include <QMovie>

// Always a top-level window of its own: it must cover whatever window the host
// has in front, so it never belongs to one.
WaitWidget::WaitWidget(QWidget*) : QWidget(nullptr), m_form(new Ui::WaitWidget) {
    m_form->setupUi(this);
    Overlay::applyWindowConvention(this);
    // Until a message is set, the form's own text asks the cashier to wait: "请稍等，操作中".
    // The image is the host's resource; without it the label simply stays empty.
    m_movie = new QMovie(QStringLiteral(":/Images/busy.gif"), QByteArray(), this);
    m_form->busyWidget->setMovie(m_movie);
    m_form->busyWidget->setScaledContents(true);
}

// The screen is built once and shown for every exchange; the animation runs only
// while it is on screen.
void WaitWidget::showEvent(QShowEvent* event) {
    m_movie->start();
    QWidget::showEvent(event);
}

void WaitWidget::hideEvent(QHideEvent* event) {
    m_movie->stop();
    QWidget::hideEvent(event);
}

WaitWidget::~WaitWidget() {
    delete m_form;
}

void WaitWidget::setMessage(const QString& text) {
    m_form->label_text->setText(text);
}
