#pragma once
#include <QWidget>

namespace Ui {
class WaitWidget;
}

class QMovie;
class QString;

// Busy overlay for the time a CRM exchange runs; it keeps the cashier's hands off
// the host's screen until it is closed.
class WaitWidget : public QWidget {
    Q_OBJECT
public:
    explicit WaitWidget(QWidget* parent = nullptr);
    ~WaitWidget() override;

    void setMessage(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Ui::WaitWidget* m_form;
    QMovie* m_movie;
};
