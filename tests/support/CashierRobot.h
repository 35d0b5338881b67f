#pragma once

// The cashier at the till, scripted ahead of time.
//
// The plug-in's dialogs block in their own modal loops, so a test cannot press keys
// after the call that opens them. Instead it tells the robot beforehand what the
// cashier will do ("when MemberLogin shows, type 123456 and Enter"), then makes the
// call. The robot watches top-level windows being shown, acts from inside the
// dialog's own loop a few milliseconds later, and afterwards reports everything that
// did not go to script: a dialog nobody expected (dismissed so the test goes on), an
// expected one that never came, a message with the wrong text, a dialog left open.

#include <QObject>
#include <QStringList>
#include <QTest>

#include <functional>

class QWidget;

class CashierRobot : public QObject {
    Q_OBJECT
public:
    explicit CashierRobot(QObject* parent = nullptr);
    ~CashierRobot() override;

    using Action = std::function<void(QWidget* dialog)>;

    // The next dialog expected; expectations are consumed in order.
    CashierRobot& when(const QString& dialogName, Action action);
    // A MessageWidget whose "label_text" reads exactly this; closed with closeKey.
    CashierRobot& expectMessage(const QString& exactText, int closeKey = Qt::Key_1);

    // What the cashier can do. Keys go to the entry field the cashier would be typing
    // in (the focused line edit, else the first visible editable one), otherwise to
    // the dialog itself.
    static Action typeAndEnter(const QString& text);
    static Action press(int key);
    static Action keys(const QList<int>& keys);
    static Action sequence(const QList<Action>& steps); // stops early once the dialog has closed

    static QString labelText(QWidget* dialog, const QString& labelName = QStringLiteral("label_text"));
    QStringList seenTexts() const { return seenTexts_; } // message texts read by expectMessage, in order

    bool allDone() const { return expected_.isEmpty() && failures_.isEmpty(); }
    QString failures() const;                        // one line per problem, empty when allDone()
    int pending() const { return expected_.size(); } // expectations not yet consumed
    void setWatchdogMs(int ms) { watchdogMs_ = ms; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Expectation {
        QString dialog;
        Action action;
    };

    bool isCashierDialog(QWidget* window) const;
    void shown(QWidget* dialog);
    void dismiss(QWidget* dialog, quint64 showing);

    QList<Expectation> expected_;
    QStringList failures_;
    QStringList seenTexts_;
    quint64 shows_ = 0; // numbers each show, so that a timer knows its own
    int watchdogMs_ = 10000;
};

// In a test: VERIFY_ROBOT(robot); fails with the robot's report.
#define VERIFY_ROBOT(robot) QVERIFY2((robot).allDone(), qPrintable((robot).failures()))
