#pragma once
#include <QString>

// How an operation ended: done, closed by the cashier, or failed with the message
// the cashier or the host reads.
class Outcome {
public:
    static Outcome done() { return Outcome(Kind::Done, QString()); }
    static Outcome closed() { return Outcome(Kind::Closed, QString()); }
    static Outcome failed(const QString& message) { return Outcome(Kind::Failed, message); }

    bool isDone() const { return m_kind == Kind::Done; }
    bool isClosed() const { return m_kind == Kind::Closed; }
    bool isFailed() const { return m_kind == Kind::Failed; }

    // The text the host receives for an outcome that is not done: the message, or
    // "CLOSE" when the cashier closed a dialog.
    QString hostText() const;
    // A failure whose message is prefix + hostText(); a points sale reports a closed
    // member list as "会员验证失败 CLOSE", so the prefix goes before the word too.
    Outcome prefixed(const QString& prefix) const { return failed(prefix + hostText()); }

private:
    enum class Kind { Done, Closed, Failed };
    Outcome(Kind kind, const QString& message) : m_kind(kind), m_message(message) {}

    Kind m_kind;
    QString m_message;
};
