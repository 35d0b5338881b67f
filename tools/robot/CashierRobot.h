#pragma once

// The cashier at the till, scripted ahead of time.
//
// The plug-in's dialogs block in their own modal loops, so nobody can press keys
// after the call that opens them. Instead the robot is told beforehand what the
// cashier will do ("when MemberLogin shows, type 123456 and Enter"), then the call is
// made. The robot watches top-level windows being shown, acts from inside the
// dialog's own loop a few milliseconds later with ordinary key events, photographs
// each dialog when it has a picture folder, and reports everything that did not go
// to script: a dialog nobody expected (backed out of, so the caller goes on), an
// expected one that never came, a message with the wrong text, a dialog left open.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>

class QEvent;
class QWidget;

class CashierRobot : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void(QWidget* dialog)>;

    explicit CashierRobot(QObject* parent = nullptr);
    ~CashierRobot() override;

    // Photographs each dialog the robot meets into pictureDir, drawn over backdrop
    // (the till's own screen) and the dialogs still open below it.
    void photographInto(const QString& pictureDir, QWidget* backdrop = nullptr) {
        m_pictureDir = pictureDir;
        m_backdrop = backdrop;
    }

    // The next dialog expected; expectations are consumed in order. picture names
    // its photograph (the dialog's name when empty).
    CashierRobot& when(const QString& dialogName, Action action, const QString& picture = QString());
    // A MessageWidget whose "label_text" reads exactly this; closed with closeKey.
    CashierRobot& expectMessage(const QString& exactText, int closeKey = Qt::Key_1,
                                const QString& picture = QString());
    // Photographs the next wait screen once it is up.
    void snapNextWaitScreen(const QString& picture) { m_waitPicture = picture; }

    // What the cashier can do. Keys go to the entry field the cashier would be typing
    // in (the focused line edit, else the first visible editable one), otherwise to
    // the dialog itself.
    static Action type(const QString& text);
    static Action typeAndEnter(const QString& text) { return sequence({type(text), press(Qt::Key_Return)}); }
    static Action press(int key);
    static Action sequence(const QList<Action>& steps); // stops early once the dialog has closed
    Action snap(const QString& picture) {
        return [this, picture](QWidget* dialog) { photograph(dialog, picture); };
    }

    QString photograph(QWidget* window, const QString& picture); // the file written
    static QString labelText(QWidget* dialog, const QString& labelName = QStringLiteral("label_text"));
    QStringList seenTexts() const { return m_seenTexts; } // message texts read by expectMessage
    QStringList pictures() const { return m_pictures; }

    bool allDone() const { return m_expected.isEmpty() && m_failures.isEmpty(); }
    QString failures() const;   // one line per problem, empty when allDone()
    QStringList takeFailures(); // the problems so far, expectations never met included; forgets them
    int pending() const { return m_expected.size(); }
    void setWatchdogMs(int ms) { m_watchdogMs = ms; }

signals:
    void photographed(const QString& file);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Expectation {
        QString dialog;
        QString picture;
        Action action;
    };

    bool isCashierDialog(QWidget* window) const;
    void shown(QWidget* dialog);
    void snapWaitScreen(QWidget* screen);
    void backOut(QWidget* dialog, quint64 showing);
    bool stillShowing(const QPointer<QWidget>& window, quint64 showing) const;

    QList<Expectation> m_expected;
    QStringList m_failures;
    QStringList m_seenTexts;
    QStringList m_pictures;
    QString m_pictureDir;
    QString m_waitPicture;
    QPointer<QWidget> m_backdrop;
    QList<QPointer<QWidget>> m_open;    // windows on screen, bottom to top
    QHash<QWidget*, quint64> m_showing; // numbers each show, so that a timer knows its own
    quint64 m_shows = 0;
    int m_watchdogMs = 10000;
};

// In a test: VERIFY_ROBOT(robot); fails with the robot's report.
#define VERIFY_ROBOT(robot) QVERIFY2((robot).allDone(), qPrintable((robot).failures()))
