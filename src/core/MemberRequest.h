#pragma once
#include "model/Kinds.h"
#include "model/OrderRec.h"

#include <QString>

#include <optional>

// A member request of the host (TranVipIn), read once where it comes in.
struct MemberRequest {
    RequestType type = RequestType::Unknown;
    // A member management request checks its store id only after the cashier chose
    // the sign-in, so the store id may be missing here.
    std::optional<QString> storeId;
    // Verification: the key is the card id when the host sent one, else the code;
    // without a code the cashier keys it in.
    QString bizType;
    std::optional<QString> code;
    QString cardId;
    // Settlement.
    OrderRec order;
};
