#pragma once
#include <QDialog>
#include <QString>

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
    // captionStyle 0: bare captions ("确定"); 1: with their key ("确定【1】"); any
    // other: the captions as the form has them. showDetail: offer the query button.
    explicit MessageWidget(int captionStyle = 1, bool showDetail = false, QWidget* parent = nullptr);
    ~MessageWidget() override;

    // Types: 0 finished notice, 1 retry question, 2 bare notice, 3 confirm.
    // 1: confirmed (or retry), 0: backed out.
    int showMessage(const QString& text, int type, bool showHint);

signals:
    // The cashier asks for the bill's state (key 2 or the query button); the box stays open.
    void queryRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCaption(QPushButton* button, const QString& plain, const QString& withKey) const;

    const int m_captionStyle;
    const bool m_showDetail;
    Ui::MessageWidget* m_form;
};
