#pragma once
#include <QDialog>

namespace Ui {
class MessageWidget;
}

class QKeyEvent;
class QPushButton;

// Full-screen message box for the touch till. Every button caption may carry the
// digit that presses it, because the cashier mostly works from the keypad.
class MessageWidget : public QDialog {
    Q_OBJECT
public:
    explicit MessageWidget(int captionStyle = 1, bool showDetail = false, QWidget* parent = nullptr);
    ~MessageWidget() override;

    // Types: 0 finished notice, 1 retry question, 2 bare notice, 3 confirm.
    int showMessage(const QString& text, int type, bool showHint);

signals:
    void SignQueryBillState();

public slots:
    void on_btnDetail_clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCaption(QPushButton* button, const QString& plain, const QString& withKey) const;

    const int m_nCaptionStyle;
    const bool m_bShowDetail;
    Ui::MessageWidget* ui;
};
