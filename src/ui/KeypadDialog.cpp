#include "ui/KeypadDialog.h"
#include "ui/Overlay.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

KeypadDialog::KeypadDialog(QWidget* parent) : QWidget(parent) {}

KeypadDialog::~KeypadDialog() = default;

void KeypadDialog::setUpKeypad(QLineEdit* entry) {
    m_entry = entry;
    Overlay::applyWindowConvention(this);

    // Keys that the entry field does not take (Enter, Esc) bubble up to the panels.
    m_panel = findChild<QWidget*>(QStringLiteral("widgetback"));
    m_entryPanel = findChild<QWidget*>(QStringLiteral("widgetpopcenter"));
    m_panel->installEventFilter(this);
    m_entryPanel->installEventFilter(this);

    // The keys of the touch keypad that stand for one character (digits, the point)
    // insert their caption at the cursor.
    QWidget* keypad = findChild<QWidget*>(QStringLiteral("widgetkey"));
    for (QPushButton* key : keypad->findChildren<QPushButton*>()) {
        const QString text = key->text();
        if (text.size() == 1)
            connect(key, &QPushButton::clicked, this, [this, text] { m_entry->insert(text); });
    }
    const auto button = [this](const char* name) { return findChild<QPushButton*>(QLatin1String(name)); };
    connect(button("btnUpdNum"), &QPushButton::clicked, m_entry, &QLineEdit::clear);
    connect(button("btnOK"), &QPushButton::clicked, this, &KeypadDialog::confirm);
    connect(button("btnReturn"), &QPushButton::clicked, this, [this] { finish(0); });
    connect(button("btnClose"), &QPushButton::clicked, this, [this] { finish(0); });
    if (QPushButton* backSpace = button("btnBackSpace"))
        connect(backSpace, &QPushButton::clicked, m_entry, &QLineEdit::backspace);

    // The till is driven from its keyboard; the touch keypad and the title-bar buttons stay out of sight.
    keypad->hide();
    button("btnReturn")->hide();
    button("btnClose")->hide();
}

int KeypadDialog::runLoop() {
    showFullScreen();
    Overlay::takeKeyboard(this, m_entry);
    return m_loop.exec();
}

// An empty entry is refused without a word: the cashier simply keys again.
void KeypadDialog::confirm() {
    m_input = m_entry->text();
    // setText() rather than clear(): clear() is an edit the field remembers for undo,
    // and the dialog lives as long as the till program.
    m_entry->setText(QString());
    if (!m_input.isEmpty())
        finish(1);
}

void KeypadDialog::finish(int code) {
    Overlay::endRun(m_loop, this, code);
}

bool KeypadDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == m_panel || watched == m_entryPanel)) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void KeypadDialog::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape)
        finish(0);
    else if (key == Qt::Key_Return || key == Qt::Key_Enter)
        confirm();
    else if (key >= Qt::Key_0 && key <= Qt::Key_9)
        m_entry->insert(QString(QChar(key)));
}
