#pragma once
#include <QWidget>

namespace Ui {
class WaitWidget;
}

class QMovie;

// Busy overlay for the time a CRM exchange runs; it keeps the cashier's hands off
// the host's screen until it is closed.
class WaitWidget : public QWidget {
    Q_OBJECT
public:
    explicit WaitWidget(QWidget* parent = nullptr);
    ~WaitWidget() override;

    void SetMessage(const QString& text);

public slots:
    void close();

private:
    Ui::WaitWidget* ui;
    QMovie* m_movie;
};
