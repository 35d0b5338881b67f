#pragma once
#include <QEventLoop>
#include <QString>
#include <QWidget>

class QEvent;
class QKeyEvent;
class QLineEdit;
class QObject;

// What the full-screen entry dialogs with a keypad share: one entry field, a touch
// keypad whose keys insert their caption, "清空" and "确定" keys, title-bar buttons
// that back out, and the keyboard: Escape backs out, Return or Enter confirms,
// digits go into the entry even when they arrive at the panels.
//
// The form is built by the derived dialog; setUpKeypad() then wires the parts every
// such form names alike (widgetback, widgetpopcenter, widgetkey, btnReturn, btnClose,
// btnUpdNum, btnOK, btnBackSpace when there is one, and the single-character keys).
class KeypadDialog : public QWidget {
    Q_OBJECT
public:
    ~KeypadDialog() override;

    // The entry at the last confirm attempt, kept across runs; read it after a run
    // ended with 1.
    QString input() const { return m_input; }

protected:
    explicit KeypadDialog(QWidget* parent);

    void setUpKeypad(QLineEdit* entry);
    // Shows the dialog and blocks until the cashier confirmed (1) or backed out (0).
    int runLoop();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void confirm();
    void finish(int code);

    QLineEdit* m_entry = nullptr;
    QWidget* m_panel = nullptr;
    QWidget* m_entryPanel = nullptr;
    QString m_input;
    QEventLoop m_loop;
};
