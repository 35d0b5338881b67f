#pragma once
#include "core/MemberRequest.h"
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QString>

class MemberRequestParser {
    Q_DECLARE_TR_FUNCTIONS(MemberRequestParser)
public:
    // Failed with the message the host receives when a key is missing or a value
    // is refused; the checks run in the order the host's integrators know.
    static Outcome parse(const QString& text, MemberRequest& request);
};
