#include "model/Outcome.h"

QString Outcome::hostText() const {
    return m_kind == Kind::Closed ? QStringLiteral("CLOSE") : m_message;
}
