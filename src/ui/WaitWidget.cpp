#include "ui/WaitWidget.h"
#include "ui/Overlay.h"
#include "ui_WaitWidget.h"

#include <QMovie>

// Always a top-level window of its own: it must cover whatever window the host
// has in front, so it never belongs to one.
WaitWidget::WaitWidget(QWidget*) : QWidget(nullptr), ui(new Ui::WaitWidget), m_movie(nullptr) {
    ui->setupUi(this);
    Overlay::ApplyWindowConvention(this);
    ui->label_text->setText(tr("请稍等，操作中"));
    // The image is the host's resource; without it the label simply stays empty.
    m_movie = new QMovie(QStringLiteral(":/Images/busy.gif"), QByteArray(), this);
    ui->busyWidget->setMovie(m_movie);
    ui->busyWidget->setScaledContents(true);
    m_movie->start();
}

WaitWidget::~WaitWidget() {
    delete ui;
}

void WaitWidget::SetMessage(const QString& text) {
    ui->label_text->setText(text);
}

void WaitWidget::close() {
    QWidget::close();
}
