#pragma once

// A cashier at the keyboard, scripted ahead of the call.
//
// The plug-in's dialogs block inside the call, each in its own loop, so the demo
// tour says beforehand what the cashier will do when a dialog comes up ("when
// MemberLogin shows, type 123456 and Enter"). The cashier watches top-level windows
// being shown, photographs each dialog it sees into the picture folder, acts a few
// milliseconds later from inside the dialog's loop with ordinary key events, and
// notes everything that did not go to plan. A dialog nobody expected, or one still
// open after the watchdog, is backed out of, so the tour never hangs on a dialog.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

class AutoCashier : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void(QWidget* dialog)>;

    // backdrop: the till's own screen, drawn under every picture as the cashier sees it.
    AutoCashier(const QString& pictureDir, QWidget* backdrop, QObject* parent = nullptr);
    ~AutoCashier() override;

    // The next dialog expected; picture names the photo taken when it shows.
    void expect(const QString& dialogName, const QString& picture, Action action);
    // A message box: the cashier reads its text out, then closes it with the key given.
    void expectMessage(const QString& picture, std::function<void(const QString&)> read, int closeKey);
    // Photographs the next wait screen once it is up.
    void snapNextWaitScreen(const QString& picture);

    // What the cashier does. Keys go where a cashier's would land: the entry field of
    // the dialog, else the dialog itself.
    static Action type(const QString& text, bool thenEnter = true);
    static Action press(int key);
    static Action sequence(const QList<Action>& steps);
    Action snap(const QString& picture);

    QString photograph(QWidget* window, const QString& picture);
    static QString messageText(QWidget* dialog);

    // Called after each plug-in call: anything still expected never came.
    void endOfCall();
    QStringList takeProblems();
    QStringList pictures() const { return m_pictures; }

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

    void shown(QWidget* window);
    void backOut(QWidget* dialog, quint64 showing);
    bool stillShowing(const QPointer<QWidget>& window, quint64 showing) const;

    QString m_pictureDir;
    QPointer<QWidget> m_backdrop;
    QList<Expectation> m_expected;
    QStringList m_problems;
    QStringList m_pictures;
    QString m_waitPicture;
    QList<QPointer<QWidget>> m_open; // dialogs on screen, bottom to top
    QHash<QWidget*, quint64> m_showing;
    quint64 m_shows = 0;
    int m_pictureCount = 0;
};
