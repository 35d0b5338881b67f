#pragma once
#include "model/Outcome.h"
#include "model/TenderRec.h"

#include <QCoreApplication>
#include <QString>

// The three texts of a tender request (TranHead, TranPlu, UdpIn1), read once where
// they come in.
class TenderRequestParser {
    Q_DECLARE_TR_FUNCTIONS(TenderRequestParser)
public:
    // The head lands in tender as soon as it is complete, even when the product or
    // payment lines are refused after it: the answer to the host depends on the
    // head's pay type.
    static Outcome parse(const QString& head, const QString& plu, const QString& udp, TenderRec& tender);

private:
    static Outcome parseHead(const QString& text, TenderRec& t);
    static Outcome parseGoods(const QString& text, TenderRec& t);
    static Outcome parsePays(const QString& text, TenderRec& t);
};
