#pragma once
#include <QEventLoop>
#include <QWidget>

namespace Ui {
class JFPayWidget;
}
class QRegExpValidator;
class QSignalMapper;

// Full-screen entry of the amount of money the member pays with points.
class JFPayWidget : public QWidget {
    Q_OBJECT
public:
    explicit JFPayWidget(QWidget* parent = nullptr);
    ~JFPayWidget() override;

    // The amount text at the last confirm attempt; read it after Exec returned 1.
    QString m_sInput;

public slots:
    int Exec(QString p_sTotal, QString num, QString p_sHelp);
    int Exec(QString p_sTotal, QString num);
    void SlotKeyPressed(QString p_sInput);
    void on_btnClose_clicked();
    void on_btnReturn_clicked();
    void on_btnUpdNum_clicked();
    void on_btnOK_clicked();

public:
    // Deletes the character before the cursor. The form has no backspace button, so
    // this is a plain method: as a slot its name would make the form's by-name
    // wiring warn on every load of the library.
    void on_btnBackSpace_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Finish(int p_nCode);
    void TakeKeyboard();

    Ui::JFPayWidget* ui;
    QSignalMapper* m_mapper;
    QRegExpValidator* m_validator;
    QEventLoop m_loop;
};
